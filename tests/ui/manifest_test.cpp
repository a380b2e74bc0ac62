// Sarnoval.exe carries its manifest, and its code page takes effect in a
// program that embeds it (this test embeds the same one).
#include <QDir>
#include <QTest>

#include <windows.h>

namespace {

QByteArray ProgramManifest() {
    const std::wstring path =
        QDir::toNativeSeparators(QStringLiteral(SARNOVAL_BINARY)).toStdWString();
    const HMODULE program = ::LoadLibraryExW(
        path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!program) {
        return {};
    }
    QByteArray text;
    if (const HRSRC found = ::FindResourceW(program, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
        if (const HGLOBAL data = ::LoadResource(program, found)) {
            text = QByteArray(static_cast<const char*>(::LockResource(data)),
                              static_cast<int>(::SizeofResource(program, found)));
        }
    }
    ::FreeLibrary(program);
    return text;
}

} // namespace

class ManifestTest : public QObject {
    Q_OBJECT

private slots:
    void embedded_data() {
        QTest::addColumn<QByteArray>("setting");
        QTest::newRow("Windows 10 and 11") << QByteArray("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}");
        QTest::newRow("per-monitor DPI v2") << QByteArray(">PerMonitorV2</dpiAwareness>");
        QTest::newRow("common controls 6")
            << QByteArray("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"");
        QTest::newRow("UTF-8 code page") << QByteArray(">UTF-8</activeCodePage>");
        QTest::newRow("paths past MAX_PATH") << QByteArray(">true</longPathAware>");
    }
    void embedded() {
        QFETCH(QByteArray, setting);
        const QByteArray manifest = ProgramManifest();
        QVERIFY2(!manifest.isEmpty(), "Sarnoval.exe has no manifest resource");
        QVERIFY2(manifest.simplified().contains(setting), setting.constData());
    }

    // File names reach the engine as 8-bit text in this code page (Windows 10
    // 1903 and later, and Wine 8, honour the setting).
    void utf8CodePage() { QCOMPARE(::GetACP(), UINT(CP_UTF8)); }
};

QTEST_MAIN(ManifestTest)
#include "manifest_test.moc"
