#include "ui/translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>

namespace {

// Where qt_add_translations puts the compiled catalogues: sarnoval_de.qm and so on.
const QString kFolder = QStringLiteral(":/i18n");
const QString kName = QStringLiteral("sarnoval");

} // namespace

UiTranslation::UiTranslation(const QStringList& languages) {
    for (const QString& name : languages) {
        // The source texts are English; the C locale reads them too. A later
        // language must not win over English put first.
        if (name == QLatin1String("C") || name == QLatin1String("POSIX")) {
            return;
        }
        const QLocale locale(name);
        if (locale.language() == QLocale::English) {
            return;
        }
        // An unknown name gives the C locale: not a choice, so it is passed over.
        if (locale.language() != QLocale::C &&
            m_ours.load(locale, kName, QStringLiteral("_"), kFolder)) {
            m_language = QLocale::languageToCode(locale.language());
            break;
        }
    }
    if (m_language.isEmpty()) {
        return;
    }
    QCoreApplication::installTranslator(&m_ours);
    // Debian's qt6-translations-l10n; the static Qt for Windows carries none.
    if (m_qt.load(QLocale(m_language), QStringLiteral("qtbase"), QStringLiteral("_"),
                  QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        m_qtInstalled = QCoreApplication::installTranslator(&m_qt);
    }
}

UiTranslation::~UiTranslation() {
    if (m_qtInstalled) {
        QCoreApplication::removeTranslator(&m_qt);
    }
    if (!m_language.isEmpty()) {
        QCoreApplication::removeTranslator(&m_ours);
    }
}

QStringList UiTranslation::Available() {
    QStringList languages;
    const QString prefix = kName + QLatin1Char('_');
    for (const QString& file :
         QDir(kFolder).entryList({prefix + QStringLiteral("*.qm")}, QDir::Files, QDir::Name)) {
        languages << file.mid(prefix.size()).chopped(3);
    }
    return languages;
}
