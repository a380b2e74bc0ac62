// The window in other languages: every caption fits in every language, the
// system's language is the one shown, the catalogues are complete, and what
// scripts read (the result lines) stays English.
#include "ui_test_support.h"

#include "caption_fit.h"

#include "engine/drive_write_read.h"
#include "engine/figures.h"
#include "res/dialog_template.h"
#include "res/resource.h"
#include "ui/result_list_menu.h"
#include "ui/translation.h"
#include "ui/window_adapter.h"

#include <QAccessible>
#include <QAction>
#include <QFile>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTranslator>
#include <QXmlStreamReader>

#include <map>
#include <thread>

using namespace ui_test;

namespace {

// Each control's caption and the screen reader names, in template order,
// written out here independently of the template and the catalogues.
struct Shown {
    int index; // in the template
    const char* english;
    const char* german;
};

const Shown kCaptions[] = {
    {0, "Test", "Testen"},
    {1, "Clear Text", "Text l\xc3\xb6schen"},
    {3, "Visit Company Website", "Website der Firma"},
    {4, "Email Quenvo", "E-Mail an Quenvo"},
    {5, "\xc2\xbfHelp?", "Hilfe"},
    {6, "A chosen file", "Datei"},
    {7, "A drive", "Laufwerk"},
    {8, "1 MB", "1 MB"},
    {9, "5 MB", "5 MB"},
    {10, "20 MB", "20 MB"},
    {11, "100 MB", "100 MB"},
    {15, "KB Read / Written:",
     "KB \xc3\xbc"
     "bertragen:"},
    {16, "What to test", "Was testen"},
    {17, "\"A drive\" - Drive and File settings",
     "\xe2\x80\x9eLaufwerk\xe2\x80\x9c \xe2\x80\x93 Laufwerk und Dateigr\xc3\xb6\xc3\x9f"
     "e"},
    {19, "Drive Letter to test:", "Laufwerk:"},
};

struct Named {
    int id;
    const char* english;
    const char* german;
};

const Named kAccessibleNames[] = {
    {IDC_KB_COUNT, "KB Read / Written",
     "KB \xc3\xbc"
     "bertragen"},
    {IDC_FILE_PATH, "Chosen file", "Gew\xc3\xa4hlte Datei"},
    {IDC_DRIVE_LETTER, "Drive Letter to test", "Zu testendes Laufwerk"},
    {IDC_RESULTS, "Results", "Ergebnisse"},
    {IDC_PROGRESS, "Progress", "Fortschritt"},
};

// The engine's fixed messages as the message box shows them in German.
const std::map<std::string, const char*> kEngineGerman = {
    {sarnoval::kOpenWriteFailed, "Fehler beim Testen des Laufwerks: Die Datei l\xc3\xa4sst "
                                 "sich nicht zum Schreiben \xc3\xb6"
                                 "ffnen."},
    {sarnoval::kOpenReadFailed, "Fehler beim Testen des Laufwerks: Die Datei l\xc3\xa4sst "
                                "sich nicht zum Lesen \xc3\xb6"
                                "ffnen."},
    {sarnoval::kWriteFailed,
     "Fehler beim Testen des Laufwerks: Die Datei konnte nicht geschrieben werden."},
    {sarnoval::kReadFailed,
     "Fehler beim Testen des Laufwerks: Die Datei konnte nicht gelesen werden."},
    {sarnoval::kDataWrong, "Fehler beim Testen des Laufwerks: Die zur\xc3\xbc"
                           "ckgelesenen "
                           "Daten stimmen nicht mit den geschriebenen \xc3\xbc"
                           "berein."},
};

// What the test process was started with (ctest sets LANGUAGE and this).
QString ExpectedSystemLanguage() {
    return QString::fromLocal8Bit(qgetenv("SARNOVAL_EXPECTED_LANGUAGE"));
}

QString TsFile(const QString& language) {
    return QStringLiteral(SARNOVAL_SOURCE_DIR "/translations/sarnoval_%1.ts").arg(language);
}

QSet<QString> Placeholders(const QString& text) {
    QSet<QString> found;
    static const QRegularExpression placeholder(QStringLiteral("%\\d"));
    for (const QRegularExpressionMatch& m : placeholder.globalMatch(text)) {
        found.insert(m.captured());
    }
    return found;
}

struct TsMessage {
    QString context;
    QString source;
    QString translation;
    QString type; // "unfinished", "vanished", "obsolete" or empty
};

QList<TsMessage> ReadTs(const QString& path, QString* error) {
    QList<TsMessage> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return messages;
    }
    QXmlStreamReader xml(&file);
    QString context;
    TsMessage message;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) {
            continue;
        }
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            message = TsMessage{context, {}, {}, {}};
        } else if (xml.name() == QLatin1String("source")) {
            message.source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            message.type = xml.attributes().value(QLatin1String("type")).toString();
            message.translation = xml.readElementText();
            messages.append(message);
        }
    }
    if (xml.hasError()) {
        *error = xml.errorString();
    }
    return messages;
}

} // namespace

class TranslationTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_sandbox = std::make_unique<Sandbox>(); }
    void cleanup() {
        m_sandbox.reset();
        QVERIFY(EngineAtRest());
    }

    // The program carries exactly the languages it was given, in itself.
    void embedded() {
        QCOMPARE(UiTranslation::Available(),
                 (QStringList{QStringLiteral("de"), QStringLiteral("es"), QStringLiteral("fr")}));
    }

    // One table: every language by every control with a caption. Each
    // caption fits at the template's 8 pt and at twice that.
    void captionsFit_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("index");
        const QStringList languages =
            QStringList{QStringLiteral("en")} + UiTranslation::Available();
        for (const QString& language : languages) {
            for (const Shown& shown : kCaptions) {
                QTest::addRow("%s %s", qPrintable(language), shown.english)
                    << language << shown.index;
            }
        }
    }
    void captionsFit() {
        QFETCH(QString, language);
        QFETCH(int, index);
        const UiTranslation translation({language});
        QCOMPARE(translation.Language(), language == QLatin1String("en") ? QString() : language);
        const sarnoval::ControlTemplate& row = sarnoval::kMainDialog.controls[index];
        for (const qreal points : {8.0, 16.0}) {
            const DesktopFont font(points);
            CThroughputDlg dlg;
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg));
            QWidget* widget = dlg.TemplateWidgets()[index];
            // The caption shown is the catalogue's, and no other.
            QCOMPARE(Caption(widget), QCoreApplication::translate("DialogTemplate", row.caption));
            const QString fault = CaptionFault(widget, row);
            QVERIFY2(fault.isEmpty(),
                     qPrintable(QStringLiteral("%1 pt: %2").arg(points).arg(fault)));
        }
    }

    // The language comes from the system: German under LANGUAGE=de, and
    // under the C locale exactly the English of the source.
    void systemLanguage_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("german");
        for (const Shown& shown : kCaptions) {
            QTest::addRow("%s", shown.english) << shown.index << QString::fromUtf8(shown.english)
                                               << QString::fromUtf8(shown.german);
        }
    }
    void systemLanguage() {
        QFETCH(int, index);
        QFETCH(QString, english);
        QFETCH(QString, german);
        const QString expected = ExpectedSystemLanguage();
        if (expected.isEmpty()) {
            QSKIP("run by ctest under LANGUAGE=de and under LC_ALL=C");
        }
        const UiTranslation translation;
        QCOMPARE(translation.Language(), expected == QLatin1String("C") ? QString() : expected);
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        QCOMPARE(Caption(dlg.TemplateWidgets()[index]),
                 expected == QLatin1String("de") ? german : english);
    }

    // The screen reader's names, the menu and the help follow the same language.
    void systemLanguageElsewhere() {
        const QString expected = ExpectedSystemLanguage();
        if (expected.isEmpty()) {
            QSKIP("run by ctest under LANGUAGE=de and under LC_ALL=C");
        }
        const bool de = expected == QLatin1String("de");
        const UiTranslation translation;
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        for (const Named& named : kAccessibleNames) {
            QCOMPARE(dlg.Control(named.id)->accessibleName(),
                     QString::fromUtf8(de ? named.german : named.english));
        }
        QCOMPARE(dlg.ResultMenu()->CopyAction()->text(),
                 de ? QStringLiteral("Kopieren") : QStringLiteral("Copy"));
        dlg.OnHelpButton();
        QMessageBox* help = nullptr;
        QTRY_VERIFY((help = VisibleMessageBox()));
        QVERIFY2(help->text().startsWith(de ? QStringLiteral("So benutzen Sie dieses Programm:")
                                            : QStringLiteral("To use this program:\n\nFor ")),
                 qPrintable(help->text()));
        help->close();
        // Qt's own texts beside ours, where Debian's translations are installed.
        const QString qtCatalogue =
            QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_de.qm");
        QCOMPARE(translation.HasQtTranslation(), de && QFile::exists(qtCatalogue));
        if (translation.HasQtTranslation()) {
            QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"),
                     QStringLiteral("Abbrechen"));
        }
    }

    // The first language the user names wins; English first means the source
    // texts even when a translated language follows.
    void languageOrder_data() {
        QTest::addColumn<QStringList>("languages");
        QTest::addColumn<QString>("installed");
        QTest::newRow("German") << QStringList{"de-DE"} << "de";
        QTest::newRow("Austrian German") << QStringList{"de-AT"} << "de";
        QTest::newRow("French then German") << QStringList{"fr-CA", "de"} << "fr";
        QTest::newRow("untranslated then Spanish") << QStringList{"it", "es-MX"} << "es";
        QTest::newRow("English then German") << QStringList{"en-GB", "de"} << "";
        QTest::newRow("C") << QStringList{"C"} << "";
        QTest::newRow("unknown name then German") << QStringList{"xx-unknown", "de"} << "de";
        QTest::newRow("nothing translated") << QStringList{"it", "pt"} << "";
    }
    void languageOrder() {
        QFETCH(QStringList, languages);
        QFETCH(QString, installed);
        const UiTranslation translation(languages);
        QCOMPARE(translation.Language(), installed);
        const QString test = QCoreApplication::translate("DialogTemplate", "Test");
        QCOMPARE(test == QLatin1String("Test"), installed.isEmpty());
    }

    // Every message of every catalogue translated, with its placeholders, and
    // the embedded catalogue the same as its source.
    void catalogues_data() {
        QTest::addColumn<QString>("language");
        for (const QString& language : UiTranslation::Available()) {
            QTest::newRow(qPrintable(language)) << language;
        }
    }
    void catalogues() {
        QFETCH(QString, language);
        QString error;
        const QList<TsMessage> messages = ReadTs(TsFile(language), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(!messages.isEmpty());
        QTranslator embedded;
        QVERIFY(embedded.load(QStringLiteral(":/i18n/sarnoval_%1.qm").arg(language)));
        for (const TsMessage& m : messages) {
            const QString where = m.context + QStringLiteral(": ") + m.source.left(40);
            QVERIFY2(m.type.isEmpty(), qPrintable(m.type + QStringLiteral(" ") + where));
            QVERIFY2(!m.translation.trimmed().isEmpty(), qPrintable(where));
            QVERIFY2(Placeholders(m.translation) == Placeholders(m.source), qPrintable(where));
            QCOMPARE(
                embedded.translate(m.context.toUtf8().constData(), m.source.toUtf8().constData()),
                m.translation);
        }
        // Every caption the dialog shows is in the catalogue.
        for (const Shown& shown : kCaptions) {
            QVERIFY2(!embedded.translate("DialogTemplate", shown.english).isEmpty(), shown.english);
        }
    }

    // The menus' entry and the software centres' listing speak each language
    // the window does: Name and Comment, and a summary like the comment and
    // every paragraph and item of the description.
    void desktopFiles_data() {
        QTest::addColumn<QString>("language");
        for (const QString& language : UiTranslation::Available()) {
            QTest::newRow(qPrintable(language)) << language;
        }
    }
    void desktopFiles() {
        QFETCH(QString, language);
        QFile entry(QStringLiteral(SARNOVAL_SOURCE_DIR "/res/" SARNOVAL_APP_ID ".desktop"));
        QVERIFY(entry.open(QIODevice::ReadOnly | QIODevice::Text));
        QHash<QString, QString> keys;
        for (const QString& line : QString::fromUtf8(entry.readAll()).split(u'\n')) {
            const qsizetype equals = line.indexOf(u'=');
            if (equals > 0) {
                keys.insert(line.left(equals), line.mid(equals + 1));
            }
        }
        const QString name = keys.value(QStringLiteral("Name[%1]").arg(language));
        const QString comment = keys.value(QStringLiteral("Comment[%1]").arg(language));
        QVERIFY(!name.isEmpty());
        QVERIFY(!comment.isEmpty());
        QVERIFY(comment != keys.value(QStringLiteral("Comment")));

        QFile metainfo(QStringLiteral(SARNOVAL_SOURCE_DIR "/res/" SARNOVAL_APP_ID ".metainfo.xml"));
        QVERIFY(metainfo.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&metainfo);
        QString summary;
        int english = 0;
        int translated = 0;
        bool inDescription = false;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isEndElement() && xml.name() == QLatin1String("description")) {
                inDescription = false;
            }
            if (!xml.isStartElement()) {
                continue;
            }
            const QString lang = xml.attributes().value(QLatin1String("xml:lang")).toString();
            if (xml.name() == QLatin1String("description")) {
                inDescription = true;
            } else if (xml.name() == QLatin1String("summary") && lang == language) {
                summary = xml.readElementText();
            } else if (inDescription &&
                       (xml.name() == QLatin1String("p") || xml.name() == QLatin1String("li"))) {
                english += lang.isEmpty();
                translated += lang == language;
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(summary, comment);
        QVERIFY(english > 0);
        QCOMPARE(translated, english);
    }

    // The engine's messages are shown translated where the dialog shows
    // them; any other text is left as the engine wrote it.
    void engineMessages_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("shownInGerman");
        for (const QString& language : QStringList{QStringLiteral("en"), QStringLiteral("de")}) {
            for (const auto& [english, german] : kEngineGerman) {
                QTest::addRow("%s %s", qPrintable(language), english.c_str())
                    << language << QByteArray::fromStdString(english) << QString::fromUtf8(german);
            }
            QTest::addRow("%s no drive", qPrintable(language))
                << language << QByteArray("No drive is named \"Q\".")
                << QStringLiteral("Es gibt kein Laufwerk \u201eQ\u201c.");
            QTest::addRow("%s a file's reason", qPrintable(language))
                << language << QByteArray("/mnt/x/SarnovalTemp.TMP: Permission denied.")
                << QStringLiteral("/mnt/x/SarnovalTemp.TMP: Permission denied.");
        }
    }
    void engineMessages() {
        QFETCH(QString, language);
        QFETCH(QByteArray, text);
        QFETCH(QString, shownInGerman);
        const UiTranslation translation({language});
        QCOMPARE(EngineText(text.toStdString()),
                 language == QLatin1String("de") ? shownInGerman : QString::fromLatin1(text));
    }

    // In the box the engine asks for, from its own thread, the message and
    // its detail are German.
    void engineBoxTranslated() {
        const UiTranslation translation({QStringLiteral("de")});
        QWidget window;
        QtWindowAdapter adapter(
            &window, [](int) { return nullptr; }, IDC_RESULTS);
        std::thread worker([&] {
            adapter.MessageBox(sarnoval::kWriteFailed,
                               {"There is not enough memory for the test."});
        });
        QMessageBox* box = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((box = window.findChild<QMessageBox*>()), kTimeoutMs);
        QCOMPARE(box->text(), QString::fromUtf8(kEngineGerman.at(sarnoval::kWriteFailed)));
        QCOMPARE(box->informativeText(),
                 QStringLiteral("F\u00fcr den Test ist nicht genug Arbeitsspeicher frei."));
        box->button(QMessageBox::Ok)->click();
        worker.join();
    }

    // Result lines are for scripts and comparisons: English in any language.
    void resultLinesStayEnglish() {
        const UiTranslation translation({QStringLiteral("de")});
        QCOMPARE(translation.Language(), QStringLiteral("de"));
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        const QString missing = m_sandbox->Root() + QStringLiteral("/none.bin");
        dlg.Picker().SetAnswer([&](QWidget*) { return missing; });
        dlg.OnTest();
        QTRY_COMPARE_WITH_TIMEOUT(dlg.m_resultList->count(), 1, kTimeoutMs);
        const QString line = dlg.m_resultList->item(0)->text();
        QCOMPARE(line, QString::fromLocal8Bit(sarnoval::FormatFileError(
                           QDir::toNativeSeparators(missing).toLocal8Bit().toStdString())));
        QVERIFY2(line.endsWith(QStringLiteral(" - ERROR Reading File.")), qPrintable(line));
    }

private:
    std::unique_ptr<Sandbox> m_sandbox;
};

QTEST_MAIN(TranslationTest)
#include "translation_test.moc"
