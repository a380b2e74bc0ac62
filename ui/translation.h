// The window's texts in the user's language: the program's own translation,
// embedded in the program, and Qt's for its dialogs where the system has it.
#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTranslator>

class UiTranslation {
public:
    // Installs the translation for the first of the languages (best first,
    // as QLocale::uiLanguages() names them) that the program speaks. English
    // is the source text: reaching it first installs nothing.
    explicit UiTranslation(const QStringList& languages = QLocale::system().uiLanguages());
    ~UiTranslation();
    UiTranslation(const UiTranslation&) = delete;
    UiTranslation& operator=(const UiTranslation&) = delete;

    // The language installed, "de" say; empty while the texts are English.
    QString Language() const { return m_language; }
    // Whether Qt's own texts (its dialogs' buttons) are translated too.
    bool HasQtTranslation() const { return m_qtInstalled; }

    // The languages the program has translations for, besides English.
    static QStringList Available();

private:
    QTranslator m_ours;
    QTranslator m_qt;
    QString m_language;
    bool m_qtInstalled = false;
};
