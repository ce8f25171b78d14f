#include "checked.h"
#include "files.h"
#include "realdisplay.h"
#include "texts.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

// The Windows packages as a technician or an IT department uses them, on a
// Windows of Wine's in a prefix of the test's own that holds a station start
// file: the installer, the MSI and the zip each installed silently (or
// unpacked), found, used and removed again; then one package installed over
// another, of an older, the same or a newer version, and while Larkspur
// runs. The station start file is never touched.
namespace {

const QString uninstallKey =
    QStringLiteral("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
const QByteArray stationContents = stationFileBytes("d:\\shared", QByteArray(100, '1'));
// Windows' exit codes reach Linux modulo 256.
constexpr int fatalInstallError = 1603 % 256;
constexpr int installerAborted = 2;
constexpr int newerInstalled = 3;
constexpr int msiInstalled = 4;

enum class Kind { Installer, Msi, Zip };

// Exactly what Larkspur.exe needs beside it, with the notices of it all.
const QStringList deployedFiles{"Larkspur.exe",
                                "Qt6Core.dll",
                                "Qt6Gui.dll",
                                "Qt6Widgets.dll",
                                "libgcc_s_seh-1.dll",
                                "libstdc++-6.dll",
                                "libwinpthread-1.dll",
                                "platforms/qwindows.dll",
                                "styles/qwindowsvistastyle.dll",
                                "licenses/GPL-3.txt",
                                "licenses/LGPL-3.txt",
                                "licenses/Larkspur.txt",
                                "licenses/MinGW-w64-GCC-copyright.txt",
                                "licenses/MinGW-w64-copyright.txt",
                                "licenses/Qt-copyright.txt",
                                "licenses/README.txt",
                                "qt.conf"};

QStringList sorted(QStringList files) {
    files.sort(Qt::CaseInsensitive);
    return files;
}

QStringList filesBelow(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    return sorted(files);
}

// A command to its end; its exit status, -1 if it did not end by itself.
int run(const QStringList& command, QString* output = nullptr,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(command.first(), command.mid(1));
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return process.exitCode();
}

// A version resource's strings, as the UTF-16 text that wrestool extracts.
QString versionText(const QString& file) {
    QProcess wrestool;
    wrestool.start("wrestool", {"-x", "--raw", "--type=16", file});
    wrestool.waitForFinished();
    const QByteArray bytes = wrestool.readAllStandardOutput();
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()),
                              bytes.size() / 2);
}

bool hasVersionString(const QString& text, const QString& name, const QString& value) {
    return text.contains(QRegularExpression(QRegularExpression::escape(name) + "\\x{0}+" +
                                            QRegularExpression::escape(value) + "\\x{0}"));
}

} // namespace

Q_DECLARE_METATYPE(Kind)

class TestInstaller : public QObject {
    Q_OBJECT

    const QString m_packages = qEnvironmentVariable("LARKSPUR_PACKAGES");
    const QString m_olderPackages = qEnvironmentVariable("LARKSPUR_OLDER_PACKAGES");
    // The same version packed again with Larkspur.exe signed again, as a
    // re-signed release is.
    const QString m_respunPackages = qEnvironmentVariable("LARKSPUR_RESPUN_PACKAGES");
    // What every package holds, signed once.
    const QString m_stage = qEnvironmentVariable("LARKSPUR_STAGE");
    const QString m_signingCa = qEnvironmentVariable("LARKSPUR_SIGNING_CA");
    const QString m_tsaCa = qEnvironmentVariable("LARKSPUR_TSA_CA");
    const QString m_plantedPlugin = qEnvironmentVariable("LARKSPUR_PLANTED_PLUGIN");
    RealDisplay m_display;
    QTemporaryDir m_prefix;
    QProcessEnvironment m_wine;
    QProcess m_running;

    QString driveC(const QString& path) const { return m_prefix.filePath("drive_c/" + path); }
    QString stationFile() const { return driveC("pelmora/pelstart.dat"); }
    QString installFolder() const { return driveC("Program Files/Larkspur"); }
    QString unpackFolder() const { return driveC("Tools/Larkspur-1.00-win64"); }
    QString folderOf(Kind kind) const {
        return kind == Kind::Zip ? unpackFolder() : installFolder();
    }

    // Of version "1.00", "0.99", or "1.00 again", the re-spin.
    QString package(Kind kind, const QString& version = "1.00") const {
        const QString folder = version == "1.00"   ? m_packages
                               : version == "0.99" ? m_olderPackages
                                                   : m_respunPackages;
        const char* extension = kind == Kind::Installer ? "exe" : kind == Kind::Msi ? "msi" : "zip";
        return QStringLiteral("%1/Larkspur-%2-win64.%3").arg(folder, version.left(4), extension);
    }

    static QString msiTable(const QString& msi, const QString& name) {
        QString table;
        run({"msiinfo", "export", msi, name}, &table);
        return table;
    }

    static QString productCode(const QString& msi) {
        return QRegularExpression("\\nProductCode\\t(\\S+)")
            .match(msiTable(msi, "Property"))
            .captured(1);
    }

    // The Start-menu shortcut. Wine's msiexec puts an all-users shortcut in
    // the user's own Start menu; Windows puts it in ProgramData's.
    QStringList shortcuts() const {
        QStringList found;
        for (const char* menu :
             {"ProgramData/Microsoft/Windows/Start Menu/Programs",
              "users/root/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"})
            if (QFileInfo::exists(driveC(menu) + "/Larkspur/Larkspur.lnk"))
                found << menu;
        return found;
    }

    // A Wine command to its end; its exit status. The uninstaller goes on in
    // a copy of itself: after it, all that runs in the prefix is waited for.
    int wine(const QStringList& arguments, QString* output = nullptr, bool waitForAll = false) {
        const int status = run(QStringList{"wine"} + arguments, output, m_wine);
        if (waitForAll)
            run({"wineserver", "-w"}, nullptr, m_wine);
        return status;
    }

    int install(Kind kind, const QString& file) {
        switch (kind) {
        case Kind::Installer:
            return wine({file, "/S"});
        case Kind::Msi:
            return wine({"msiexec", "/i", file, "/qn"});
        case Kind::Zip:
            QDir().mkpath(QFileInfo(unpackFolder()).path());
            return run({"cmake", "-E", "chdir", QFileInfo(unpackFolder()).path(), "cmake", "-E",
                        "tar", "xf", file});
        }
        return -1;
    }

    int remove(Kind kind) {
        switch (kind) {
        case Kind::Installer:
            return wine({installFolder() + "/Uninstall.exe", "/S"}, nullptr, true);
        case Kind::Msi:
            return wine({"msiexec", "/x", package(Kind::Msi), "/qn"});
        case Kind::Zip:
            return QDir(unpackFolder()).removeRecursively() ? 0 : 1;
        }
        return -1;
    }

    // Larkspur's entries in the list of installed programs: each key's values
    // (without their types), and the key's own name as "key".
    QList<QMap<QString, QString>> entries() {
        QString listing;
        wine({"reg", "query", uninstallKey, "/s"}, &listing);
        QList<QMap<QString, QString>> found;
        QMap<QString, QString> entry;
        const auto keep = [&] {
            if (entry.value("DisplayName") == "Larkspur")
                found << entry;
            entry.clear();
        };
        for (const QString& line : listing.split(QRegularExpression("\r?\n"))) {
            if (line.startsWith("HKEY_")) {
                keep();
                entry["key"] = line.section('\\', -1);
            }
            const QStringList value = line.trimmed().split("    ");
            if (value.size() >= 2)
                entry[value[0]] = value.mid(2).join("    ");
        }
        keep();
        return found;
    }

    // The installed program finds what it needs: its window, and status 0
    // after QUIT. The rest of it is tst_realwindow's, under Wine too.
    void smokeTest(const QString& program) {
        QProcess larkspur;
        larkspur.setProcessEnvironment(m_wine);
        larkspur.start("wine", {program});
        const QString window = m_display.windowTitled(windowTitle);
        QVERIFY2(!window.isEmpty(), qPrintable(program + " showed no window"));
        m_display.clickAt(window, centreOf("cmdQuit"));
        QCOMPARE(exitCodeOf(larkspur), 0);
        QCOMPARE(readFile(stationFile()), stationContents);
    }

    // Authenticode signatures that chain to the certificate the packages
    // were signed with, each time-stamped.
    void verifySignatures(const QStringList& files) {
        if (m_signingCa.isEmpty())
            return;
        for (const QString& file : files) {
            QString output;
            QVERIFY2(run({"osslsigncode", "verify", "-CAfile", m_signingCa, "-TSA-CAfile", m_tsaCa,
                          "-in", file},
                         &output) == 0 &&
                         output.contains("Timestamp Server Signature verification: ok"),
                     qPrintable(file + ": " + output));
        }
    }

    void verifyRemoved(Kind kind) {
        QVERIFY(!QFileInfo::exists(folderOf(kind)));
        QCOMPARE(shortcuts(), QStringList());
        QCOMPARE(entries().size(), 0);
        QVERIFY(wine({"reg", "query", "HKLM\\Software\\Larkspur"}) != 0);
        QCOMPARE(readFile(stationFile()), stationContents);
        QCOMPARE(QDir(driveC("pelmora")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{"pelstart.dat"});
    }

    void addKindRows(QList<Kind> kinds) {
        for (const Kind kind : kinds)
            QTest::newRow(kind == Kind::Installer ? "installer"
                          : kind == Kind::Msi     ? "MSI"
                                                  : "zip")
                << kind;
    }

private slots:
    void initTestCase() {
        if (m_packages.isEmpty() || m_olderPackages.isEmpty())
            QSKIP("LARKSPUR_PACKAGES and LARKSPUR_OLDER_PACKAGES name no packages to test");
        if (m_signingCa.isEmpty())
            qInfo("LARKSPUR_SIGNING_CA names no certificate: signatures are not checked");
        QVERIFY(m_prefix.isValid());
        QVERIFY2(m_display.start(), "Xvfb is needed for Wine");
        // Nothing of the build's own: what the installed program needs, it must bring.
        m_wine = m_display.environment();
        for (const QString& variable : m_wine.keys()) {
            if (variable.startsWith("WINE") || variable.startsWith("QT_"))
                m_wine.remove(variable);
        }
        m_wine.insert("WINEPREFIX", m_prefix.path());
        m_wine.insert("WINEDEBUG", "-all");
        QCOMPARE(wine({"wineboot", "-i"}, nullptr, true), 0);
        // The station is set up before the program is installed.
        QVERIFY(QDir().mkpath(driveC("pelmora")));
        QVERIFY(writeFile(stationFile(), stationContents));
    }

    // Whatever a failed row left installed goes, so that the next row starts clean.
    void cleanup() {
        killIfRunning(m_running);
        m_wine.remove("WINEQT_PLUGIN_PATH");
        for (const QMap<QString, QString>& entry : entries()) {
            if (entry["key"].startsWith('{'))
                wine({"msiexec", "/x", entry["key"], "/qn"});
            else
                wine({installFolder() + "/Uninstall.exe", "/S"}, nullptr, true);
        }
        QDir(installFolder()).removeRecursively();
        QDir(unpackFolder()).removeRecursively();
    }

    // The installer's own version information: Explorer's Details tab shows it.
    void installerCarriesItsVersion() {
        const QString text = versionText(package(Kind::Installer));
        QVERIFY2(hasVersionString(text, "ProductName", "Larkspur"), qPrintable(text));
        QVERIFY(hasVersionString(text, "ProductVersion", "1.00"));
        QVERIFY(hasVersionString(text, "FileVersion", "1.0.0.0"));
        QVERIFY(hasVersionString(text, "CompanyName", LARKSPUR_PUBLISHER));
        QVERIFY(hasVersionString(text, "LegalCopyright", LARKSPUR_COPYRIGHT));
        QVERIFY(hasVersionString(text, "FileDescription", "Larkspur 1.00 installer"));
    }

    // Windows Installer replaces a versioned file by its version: each
    // program file carries its own version resource's in the MSI's File
    // table, and one without a version resource carries none.
    void msiCarriesFileVersions() {
        const QString table = msiTable(package(Kind::Msi), "File");
        for (const QString& file : deployedFiles.filter(QRegularExpression("\\.(exe|dll)$"))) {
            const QString name = QRegularExpression::escape(QFileInfo(file).fileName());
            const QString listed = QRegularExpression("\\t" + name + "\\t\\d+\\t([^\\t]*)\\t")
                                       .match(table)
                                       .captured(1);
            const QString own = QRegularExpression("FileVersion\\x{0}+([^\\x{0}]*)")
                                    .match(versionText(m_stage + "/" + file))
                                    .captured(1)
                                    .replace(", ", ".");
            QCOMPARE(listed, own);
        }
    }

    void lifeCycle_data() {
        QTest::addColumn<Kind>("kind");
        addKindRows({Kind::Installer, Kind::Msi, Kind::Zip});
    }

    void lifeCycle() {
        QFETCH(Kind, kind);
        QCOMPARE(install(kind, package(kind)), 0);
        const QString folder = folderOf(kind);
        QStringList expected = deployedFiles;
        if (kind == Kind::Installer)
            expected << "Uninstall.exe";
        QCOMPARE(filesBelow(folder), sorted(expected));
        QStringList signedFiles;
        for (const QString& file : filesBelow(folder)) {
            if (file.endsWith(".exe") || file.endsWith(".dll"))
                signedFiles << folder + "/" + file;
            if (file != "Uninstall.exe") // the same bytes in every package
                QVERIFY2(readFile(folder + "/" + file) == readFile(m_stage + "/" + file),
                         qPrintable(file));
        }
        if (kind != Kind::Zip) {
            signedFiles << package(kind);
            QCOMPARE(shortcuts().size(), 1);
            const QList<QMap<QString, QString>> found = entries();
            QCOMPARE(found.size(), 1);
            const QMap<QString, QString> entry = found.first();
            QCOMPARE(entry.value("DisplayVersion"), "1.00");
            QCOMPARE(entry.value("Publisher"), LARKSPUR_PUBLISHER);
            // The key deployment tools detect it by (docs/deploying-on-windows.md).
            QCOMPARE(entry.value("key"),
                     kind == Kind::Installer ? "Larkspur" : productCode(package(Kind::Msi)));
            if (kind == Kind::Installer) {
                const QString location = "C:\\Program Files\\Larkspur";
                const QMap<QString, QString> values{
                    {"DisplayIcon", location + "\\Larkspur.exe"},
                    {"InstallLocation", location},
                    {"UninstallString", "\"" + location + "\\Uninstall.exe\""},
                    {"QuietUninstallString", "\"" + location + "\\Uninstall.exe\" /S"},
                    {"NoModify", "0x1"},
                    {"NoRepair", "0x1"}};
                for (auto it = values.cbegin(); it != values.cend(); ++it)
                    QCOMPARE(entry.value(it.key()), it.value());
                // In KB: the 20 MB or so of the files.
                const QString size = entry.value("EstimatedSize");
                QVERIFY2(size.toUInt(nullptr, 16) > 10000, qPrintable(size));
            }
        }
        CHECKED(verifySignatures(signedFiles));
        // A copy unpacked beside a folder that anyone may make runs only its
        // own code: Qt without its qt.conf would take plugins from the
        // folder above, once it finds a Qt library there, and from the
        // folder that QT_PLUGIN_PATH names.
        const QString above = QFileInfo(folder).path();
        if (kind == Kind::Zip) {
            QVERIFY(QDir().mkpath(above + "/plugins/platforms") && QDir().mkpath(above + "/lib"));
            QVERIFY(writeFile(above + "/lib/libQt6Core.a", {}));
            QVERIFY(QFile::copy(m_plantedPlugin, above + "/plugins/platforms/qwindows.dll"));
            m_wine.insert("WINEQT_PLUGIN_PATH", "C:\\Tools\\plugins");
        }
        CHECKED(smokeTest(folder + "/Larkspur.exe"));
        m_wine.remove("WINEQT_PLUGIN_PATH");
        QVERIFY(!QFileInfo::exists(driveC("planted-plugin-was-loaded")));
        QCOMPARE(remove(kind), 0);
        CHECKED(verifyRemoved(kind));
    }

    // One Larkspur per station, whatever is installed over what: one entry,
    // of 1.00, its files, and a program that runs. A package that would make
    // a second entry or go back to an older version is refused and changes
    // nothing. While Larkspur runs, the installer changes nothing and says so;
    // Windows Installer closes it through Restart Manager, which Wine lacks:
    // Wine replaces the running program's files.
    void secondInstall_data() {
        QTest::addColumn<Kind>("first");
        QTest::addColumn<QString>("firstVersion");
        QTest::addColumn<Kind>("second");
        QTest::addColumn<QString>("secondVersion");
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("exitCode");
        const Kind exe = Kind::Installer, msi = Kind::Msi;
        QTest::newRow("installer over 0.99") << exe << "0.99" << exe << "1.00" << false << 0;
        QTest::newRow("installer over 1.00") << exe << "1.00" << exe << "1.00" << false << 0;
        QTest::newRow("installer while Larkspur runs")
            << exe << "0.99" << exe << "1.00" << true << installerAborted;
        QTest::newRow("MSI over 0.99") << msi << "0.99" << msi << "1.00" << false << 0;
        QTest::newRow("MSI over another pack of 1.00")
            << msi << "1.00 again" << msi << "1.00" << false << 0;
        QTest::newRow("MSI while Larkspur runs") << msi << "0.99" << msi << "1.00" << true << 0;
        QTest::newRow("0.99 installer over 1.00")
            << exe << "1.00" << exe << "0.99" << false << newerInstalled;
        QTest::newRow("0.99 MSI over 1.00")
            << msi << "1.00" << msi << "0.99" << false << fatalInstallError;
        QTest::newRow("installer over MSI")
            << msi << "1.00" << exe << "1.00" << false << msiInstalled;
        QTest::newRow("0.99 installer over MSI")
            << msi << "1.00" << exe << "0.99" << false << msiInstalled;
        QTest::newRow("MSI over installer")
            << exe << "1.00" << msi << "1.00" << false << fatalInstallError;
    }

    void secondInstall() {
        QFETCH(Kind, first);
        QFETCH(QString, firstVersion);
        QFETCH(Kind, second);
        QFETCH(QString, secondVersion);
        QFETCH(bool, running);
        QFETCH(int, exitCode);
        QCOMPARE(install(first, package(first, firstVersion)), 0);
        if (running) {
            m_running.setProcessEnvironment(m_wine);
            m_running.start("wine", {installFolder() + "/Larkspur.exe"});
            QVERIFY(!m_display.windowTitled(windowTitle).isEmpty());
        }
        const int status = install(second, package(second, secondVersion));
        QCOMPARE(status, exitCode);
        if (status == installerAborted) {
            // Nothing changed, and the uninstaller will not start either. It
            // runs in place, so that its status is its own, given the folder
            // without a space: Wine would quote it, and the uninstaller then
            // not see it.
            QCOMPARE(wine({installFolder() + "/Uninstall.exe", "/S", "_?=C:\\PROGRA~1\\Larkspur"}),
                     installerAborted);
            const QList<QMap<QString, QString>> before = entries();
            QCOMPARE(before.size(), 1);
            QCOMPARE(before.first().value("DisplayVersion"), firstVersion);
        }
        if (running) {
            m_display.clickAt(m_display.windowTitled(windowTitle), centreOf("cmdQuit"));
            QCOMPARE(exitCodeOf(m_running), 0);
        }
        if (status == installerAborted)
            QCOMPARE(install(second, package(second, secondVersion)), 0);
        const bool refused =
            QList{newerInstalled, msiInstalled, fatalInstallError}.contains(status);
        const Kind kept = refused ? first : second;
        const QString keptPackage =
            refused ? package(first, firstVersion) : package(second, secondVersion);
        const QList<QMap<QString, QString>> found = entries();
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.first().value("DisplayVersion"), "1.00");
        // A package of the same version made again is a product of its own.
        if (kept == Kind::Msi)
            QCOMPARE(found.first().value("key"), productCode(keptPackage));
        if (firstVersion == "1.00 again")
            QVERIFY(productCode(package(first, firstVersion)) != productCode(keptPackage));
        QStringList expected = deployedFiles;
        if (kept == Kind::Installer)
            expected << "Uninstall.exe";
        QCOMPARE(filesBelow(installFolder()), sorted(expected));
        CHECKED(smokeTest(installFolder() + "/Larkspur.exe"));
        QCOMPARE(remove(kept), 0);
        CHECKED(verifyRemoved(kept));
    }
};

QTEST_GUILESS_MAIN(TestInstaller)
#include "tst_installer.moc"
