#include <QFile>
#include <QTest>
#include <windows.h>

// Larkspur.exe as Windows sees the file: a GUI program, with its version
// resource read through the system's own API.
namespace {

const QString program = QStringLiteral(LARKSPUR_PROGRAM);

std::wstring nativeProgram() {
    return QString(program).replace('/', '\\').toStdWString();
}

QString versionString(const QByteArray& resource, const QString& name) {
    const std::wstring query =
        (QStringLiteral("\\StringFileInfo\\040904B0\\") + name).toStdWString();
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(resource.constData(), query.c_str(), &value, &length) || !value)
        return QStringLiteral("<missing>");
    return QString::fromWCharArray(static_cast<const wchar_t*>(value));
}

} // namespace

class TestProgramFile : public QObject {
    Q_OBJECT

    QByteArray m_resource;

private slots:
    void initTestCase() {
        const DWORD size = GetFileVersionInfoSizeW(nativeProgram().c_str(), nullptr);
        QVERIFY2(size > 0, "Larkspur.exe has no version resource");
        m_resource.resize(size);
        QVERIFY(GetFileVersionInfoW(nativeProgram().c_str(), 0, size, m_resource.data()));
    }

    // No console window opens beside it.
    void isAGuiProgram() {
        QFile file(program);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray header = file.read(4096);
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(header.constData());
        QCOMPARE(dos->e_magic, IMAGE_DOS_SIGNATURE);
        const auto* nt =
            reinterpret_cast<const IMAGE_NT_HEADERS64*>(header.constData() + dos->e_lfanew);
        QCOMPARE(nt->Signature, DWORD(IMAGE_NT_SIGNATURE));
        QCOMPARE(nt->OptionalHeader.Subsystem, WORD(IMAGE_SUBSYSTEM_WINDOWS_GUI));
    }

    // Explorer, the taskbar and the Start menu show the program's own icon.
    void carriesItsIcon() {
        const HMODULE file =
            LoadLibraryExW(nativeProgram().c_str(), nullptr,
                           LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        QVERIFY(file);
        const HRSRC icon = FindResourceW(file, L"IDI_ICON1", RT_GROUP_ICON);
        FreeLibrary(file);
        QVERIFY2(icon, "Larkspur.exe has no icon IDI_ICON1");
    }

    void versionStrings_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::newRow("ProductName") << "ProductName"
                                     << "Larkspur";
        QTest::newRow("InternalName") << "InternalName"
                                      << "Larkspur";
        QTest::newRow("OriginalFilename") << "OriginalFilename"
                                          << "Larkspur.exe";
        QTest::newRow("FileVersion") << "FileVersion"
                                     << "1.0.0.0";
        QTest::newRow("ProductVersion") << "ProductVersion"
                                        << "1.00";
    }

    void versionStrings() {
        QFETCH(QString, name);
        QFETCH(QString, value);
        QCOMPARE(versionString(m_resource, name), value);
    }

    void versionNumbersAndLanguage() {
        void* value = nullptr;
        UINT length = 0;
        QVERIFY(VerQueryValueW(m_resource.constData(), L"\\", &value, &length));
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        QCOMPARE(fixed->dwFileVersionMS, DWORD(0x00010000));
        QCOMPARE(fixed->dwFileVersionLS, DWORD(0));
        QCOMPARE(fixed->dwProductVersionMS, DWORD(0x00010000));
        QVERIFY(
            VerQueryValueW(m_resource.constData(), L"\\VarFileInfo\\Translation", &value, &length));
        QCOMPARE(length, UINT(4));
        const auto* language = static_cast<const WORD*>(value);
        QCOMPARE(language[0], WORD(0x0409)); // English (United States)
        QCOMPARE(language[1], WORD(1200));   // Unicode
    }
};

QTEST_MAIN(TestProgramFile)
#include "tst_programfile.moc"
