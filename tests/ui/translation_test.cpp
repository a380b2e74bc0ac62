// The window in other languages: every caption fits in every language, the
// system's language is the one shown, the engine's messages follow it, and
// what scripts read (the result lines) stays English.
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

// What the test process was started with (ctest sets LANGUAGE and this).
QString ExpectedSystemLanguage() {
    return QString::fromLocal8Bit(qgetenv("SARNOVAL_EXPECTED_LANGUAGE"));
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
                 de ? QStringLiteral("&Kopieren") : QStringLiteral("&Copy"));
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
        QCOMPARE(box->text(), QStringLiteral("Fehler beim Testen des Laufwerks: Die Datei konnte "
                                             "nicht geschrieben werden."));
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
