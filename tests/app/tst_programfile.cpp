#include <QFile>
#include <QTest>
#include <QXmlStreamReader>
#include <cstring>
#include <windows.h>

// Larkspur.exe as Windows reads the file: a Windows 10 GUI program with its
// icon, its manifest and its version information, read through the
// system's own API.
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

// The resource of the given type and name, as Windows' loader finds it.
QByteArray resourceOf(LPCWSTR type, LPCWSTR name) {
    const HMODULE file = LoadLibraryExW(nativeProgram().c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!file)
        return {};
    QByteArray bytes;
    if (const HRSRC found = FindResourceW(file, name, type)) {
        const HGLOBAL loaded = LoadResource(file, found);
        bytes = QByteArray(static_cast<const char*>(LockResource(loaded)),
                           qsizetype(SizeofResource(file, found)));
    }
    FreeLibrary(file);
    return bytes;
}

} // namespace

class TestProgramFile : public QObject {
    Q_OBJECT

    QByteArray m_resource;
    IMAGE_NT_HEADERS64 m_headers{};

private slots:
    void initTestCase() {
        const DWORD size = GetFileVersionInfoSizeW(nativeProgram().c_str(), nullptr);
        QVERIFY2(size > 0, "Larkspur.exe has no version resource");
        m_resource.resize(size);
        QVERIFY(GetFileVersionInfoW(nativeProgram().c_str(), 0, size, m_resource.data()));
        QFile file(program);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray header = file.read(4096);
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(header.constData());
        QCOMPARE(dos->e_magic, IMAGE_DOS_SIGNATURE);
        std::memcpy(&m_headers, header.constData() + dos->e_lfanew, sizeof m_headers);
        QCOMPARE(m_headers.Signature, DWORD(IMAGE_NT_SIGNATURE));
    }

    // A GUI program (no console beside it) of Windows 10's: terminal-server
    // aware, so that Remote Desktop hosts do not treat it as a legacy one,
    // and with the usual protections of its memory.
    void headerIsAWindows10GuiProgram() {
        const IMAGE_OPTIONAL_HEADER64& optional = m_headers.OptionalHeader;
        QCOMPARE(optional.Subsystem, WORD(IMAGE_SUBSYSTEM_WINDOWS_GUI));
        QVERIFY(optional.MajorSubsystemVersion >= 6);
        for (const WORD flag :
             {IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE, IMAGE_DLLCHARACTERISTICS_NX_COMPAT,
              IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE, IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA})
            QVERIFY2(optional.DllCharacteristics & flag, qPrintable(QString::number(flag, 16)));
    }

    // Explorer, the taskbar and the Start menu show the program's own icon.
    void carriesItsIcon() {
        QVERIFY2(!resourceOf(RT_GROUP_ICON, L"IDI_ICON1").isEmpty(),
                 "Larkspur.exe has no icon IDI_ICON1");
    }

    // Runs as the user who starts it, declares Windows 10 and 11, scales per
    // monitor; and keeps the system's ANSI code page, in which the station
    // start file is written.
    // Read as XML, by namespace and local name: link.exe merges manifests and
    // may write their elements with prefixes of its own.
    void manifestAsWindowsReadsIt() {
        QXmlStreamReader xml(resourceOf(RT_MANIFEST, MAKEINTRESOURCEW(1)));
        QStringList facts;
        QString element;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement()) {
                element = xml.namespaceUri().toString() + u' ' + xml.name().toString();
                facts << element;
                for (const QXmlStreamAttribute& attribute : xml.attributes())
                    facts << element + u' ' + attribute.name().toString() + u'=' +
                                 attribute.value().toString();
            } else if (xml.isCharacters() && !xml.isWhitespace()) {
                facts << element + u'=' + xml.text().trimmed().toString();
            }
        }
        QVERIFY2(!xml.hasError() && !facts.isEmpty(), qPrintable(xml.errorString()));
        for (const char* fact :
             {"urn:schemas-microsoft-com:asm.v3 requestedExecutionLevel level=asInvoker",
              "urn:schemas-microsoft-com:compatibility.v1 supportedOS "
              "Id={8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
              "http://schemas.microsoft.com/SMI/2016/WindowsSettings dpiAwareness=PerMonitorV2",
              "http://schemas.microsoft.com/SMI/2005/WindowsSettings dpiAware=true/pm"})
            QVERIFY2(facts.contains(QLatin1String(fact)), fact);
        QVERIFY(facts.filter(QLatin1String(" activeCodePage")).isEmpty());
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
        QTest::newRow("FileDescription") << "FileDescription" << LARKSPUR_DESCRIPTION;
        QTest::newRow("CompanyName") << "CompanyName" << LARKSPUR_PUBLISHER;
        QTest::newRow("LegalCopyright") << "LegalCopyright" << LARKSPUR_COPYRIGHT;
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
