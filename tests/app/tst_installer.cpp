#include "realdisplay.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

// The Windows installer and the portable zip, as a technician uses them, on
// a Windows of Wine's in a prefix of the test's own: installed silently,
// found in the Start menu and the list of installed programs, used, removed
// again, and never touching the station start file. The functions run in
// order, as the steps of one station's life.
namespace {

const QString title = QStringLiteral("Pelmora - Set/Change Path to Database");
constexpr QPoint quitButton{480, 536};
const QString uninstallKey =
    QStringLiteral("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Larkspur");
const QByteArray stationContents = "d:\\shared\\pelmora.mdb\r\n" + QByteArray(100, '1') + "\r\n";

// Exactly what Larkspur.exe needs beside it, and no more.
const QStringList deployedFiles{"Larkspur.exe",
                                "Qt6Core.dll",
                                "Qt6Gui.dll",
                                "Qt6Widgets.dll",
                                "libgcc_s_seh-1.dll",
                                "libstdc++-6.dll",
                                "libwinpthread-1.dll",
                                "platforms/qwindows.dll",
                                "styles/qwindowsvistastyle.dll"};

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

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
}

} // namespace

class TestInstaller : public QObject {
    Q_OBJECT

    const QString m_installer = qEnvironmentVariable("LARKSPUR_INSTALLER");
    const QString m_zip = qEnvironmentVariable("LARKSPUR_PORTABLE_ZIP");
    RealDisplay m_display;
    QTemporaryDir m_prefix;
    QProcessEnvironment m_wine;

    QString driveC(const QString& path) const { return m_prefix.filePath("drive_c/" + path); }
    QString stationFile() const { return driveC("pelmora/pelstart.dat"); }
    QString installFolder() const { return driveC("Program Files/Larkspur"); }
    QString startMenuFolder() const {
        return driveC("ProgramData/Microsoft/Windows/Start Menu/Programs/Larkspur");
    }

    // A Wine command to its end and that of every process it started; its exit status.
    int wine(const QStringList& arguments, QString* output = nullptr) {
        QProcess process;
        process.setProcessEnvironment(m_wine);
        process.start("wine", arguments);
        if (!process.waitForFinished(120000))
            return -1;
        QProcess waitForAll;
        waitForAll.setProcessEnvironment(m_wine);
        waitForAll.start("wineserver", {"-w"});
        waitForAll.waitForFinished(120000);
        if (output)
            *output = QString::fromLocal8Bit(process.readAllStandardOutput());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    // The real window: its exact title, and status 0 after QUIT and after the close command.
    void smokeTest(const QString& program) {
        for (const bool byQuit : {true, false}) {
            QProcess larkspur;
            larkspur.setProcessEnvironment(m_wine);
            larkspur.start("wine", {program});
            const QString window = m_display.windowTitled(title, 60000);
            QVERIFY2(!window.isEmpty(), qPrintable(program + " showed no window"));
            QCOMPARE(m_display.xdotool({"getwindowname", window}), title);
            if (byQuit)
                m_display.clickAt(window, quitButton);
            else
                m_display.sendCloseCommand(window);
            QCOMPARE(exitCodeOf(larkspur), 0);
        }
        QCOMPARE(contentOf(stationFile()), stationContents);
    }

private slots:
    void initTestCase() {
        if (m_installer.isEmpty() || m_zip.isEmpty())
            QSKIP("LARKSPUR_INSTALLER and LARKSPUR_PORTABLE_ZIP name nothing to test");
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
        QCOMPARE(wine({"wineboot", "-i"}), 0);
        // The station is set up before the program is installed.
        QVERIFY(QDir().mkpath(driveC("pelmora")));
        QFile station(stationFile());
        QVERIFY(station.open(QIODevice::WriteOnly));
        QCOMPARE(station.write(stationContents), stationContents.size());
    }

    void installerInstallsSilently() {
        QCOMPARE(wine({m_installer, "/S"}), 0);
        QCOMPARE(filesBelow(installFolder()),
                 sorted(QStringList(deployedFiles) << "Uninstall.exe"));
        QVERIFY(QFileInfo(startMenuFolder() + "/Larkspur.lnk").isFile());
        QString entry;
        QCOMPARE(wine({"reg", "query", uninstallKey}, &entry), 0);
        for (const char* value :
             {"DisplayName\\s+REG_SZ\\s+Larkspur\\s", "DisplayVersion\\s+REG_SZ\\s+1\\.00\\s",
              "UninstallString\\s+REG_SZ\\s+\"C:\\\\Program "
              "Files\\\\Larkspur\\\\Uninstall\\.exe\"",
              "DisplayIcon\\s+REG_SZ\\s+C:\\\\Program Files\\\\Larkspur\\\\"
              "Larkspur\\.exe"})
            QVERIFY2(entry.contains(QRegularExpression(value)), qPrintable(entry));
        QCOMPARE(contentOf(stationFile()), stationContents);
    }

    void installedProgramRuns() { smokeTest(installFolder() + "/Larkspur.exe"); }

    void uninstallerLeavesNothingBehind() {
        QCOMPARE(wine({installFolder() + "/Uninstall.exe", "/S"}), 0);
        QVERIFY(!QFileInfo::exists(installFolder()));
        QVERIFY(!QFileInfo::exists(startMenuFolder()));
        QVERIFY(wine({"reg", "query", uninstallKey}) != 0);
        QVERIFY(wine({"reg", "query", "HKLM\\Software\\Larkspur"}) != 0);
        QCOMPARE(contentOf(stationFile()), stationContents);
        QCOMPARE(QDir(driveC("pelmora")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{"pelstart.dat"});
    }

    // Unpacked anywhere, on a station where nothing may be installed.
    void portableZipRunsWhereUnpacked() {
        QTemporaryDir unpacked;
        QProcess unzip;
        unzip.setWorkingDirectory(unpacked.path());
        unzip.start("cmake", {"-E", "tar", "xf", m_zip});
        QVERIFY(unzip.waitForFinished() && unzip.exitCode() == 0);
        const QString folder = unpacked.filePath(QFileInfo(m_zip).completeBaseName());
        QCOMPARE(filesBelow(folder), sorted(deployedFiles));
        smokeTest(folder + "/Larkspur.exe");
    }
};

QTEST_MAIN(TestInstaller)
#include "tst_installer.moc"
