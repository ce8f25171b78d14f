#include "realdisplay.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

// The built program in a real X window: found, clicked and closed from outside.
namespace {

const QString title = QStringLiteral("Pelmora - Set/Change Path to Database");

// The program under test and where its station start file lies. By default
// the Linux build on the tests' own drive; LARKSPUR_PROGRAM names another,
// such as an installed one. LARKSPUR_WINE_PROGRAM names a Windows build,
// run under Wine in the prefix of WINEPREFIX, on its real path there.
struct Target {
    QStringList launcher;
    QString program;
    QString stationFile;  // where the test finds it
    QString reportedName; // how the program names it
    bool underWine;
};

Target target() {
    const QString wineProgram = qEnvironmentVariable("LARKSPUR_WINE_PROGRAM");
    if (!wineProgram.isEmpty())
        return {{"wine"},
                wineProgram,
                qEnvironmentVariable("WINEPREFIX") + "/drive_c/pelmora/pelstart.dat",
                "c:\\pelmora\\pelstart.dat",
                true};
    const QString linuxFile = QStringLiteral(TEST_DRIVE "/c/pelmora/pelstart.dat");
    return {{},
            qEnvironmentVariable("LARKSPUR_PROGRAM", LARKSPUR_PROGRAM),
            linuxFile,
            linuxFile,
            false};
}

const Target tested = target();
const QString stationFile = tested.stationFile;
const QString stationFolder = QFileInfo(stationFile).absolutePath();

// Client-area points of the controls, in pixels.
constexpr QPoint pathBox{348, 9};
constexpr QPoint okButton{384, 536};
constexpr QPoint quitButton{480, 536};
constexpr QPoint clearAllButton{768, 536};

QByteArray stationBytes() {
    QFile file(stationFile);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
}

} // namespace

class TestRealWindow : public QObject {
    Q_OBJECT

    RealDisplay m_display;
    QProcess m_program;

    QString startProgram(QStringList launcher = {}) {
        launcher += tested.launcher;
        m_program.setProcessEnvironment(m_display.environment());
        if (launcher.isEmpty())
            m_program.start(tested.program);
        else
            m_program.start(launcher.first(), launcher.mid(1) + QStringList{tested.program});
        if (!m_program.waitForStarted())
            return {};
        return m_display.windowTitled(title);
    }

    // As real key presses (XTEST) into the window under the pointer: Wine
    // ignores the Shift in keys sent to a window, and types ";" for ":".
    void typeInto(const QString& window, QPoint point, const QString& text) {
        m_display.clickAt(window, point);
        m_display.xdotool({"type", "--delay", "5", text});
    }

private slots:
    void initTestCase() { QVERIFY2(m_display.start(), "Xvfb is needed for the real-window tests"); }

    void init() {
        QDir(stationFolder).removeRecursively();
        QVERIFY(QDir().mkpath(stationFolder));
    }

    void cleanup() { killIfRunning(m_program); }

    void endsWithStatusZero_data() {
        QTest::addColumn<bool>("byQuit");
        QTest::newRow("QUIT") << true;
        QTest::newRow("close command") << false;
    }

    void endsWithStatusZero() {
        QFETCH(bool, byQuit);
        const QString window = startProgram();
        QVERIFY(!window.isEmpty());
        QCOMPARE(m_display.xdotool({"getwindowname", window}), title);
        m_display.clickAt(window, clearAllButton);
        if (byQuit)
            m_display.clickAt(window, quitButton);
        else
            m_display.sendCloseCommand(window);
        QCOMPARE(exitCodeOf(m_program), 0);
        QCOMPARE(stationBytes(), "<no file>");
    }

    void savedSettingsShowAtTheNextStart() {
        QString window = startProgram();
        QVERIFY(!window.isEmpty());
        m_display.clickAt(window, pathBox);
        m_display.xdotool({"key", "--window", window, "ctrl+a"});
        typeInto(window, pathBox, "d:\\shared");
        m_display.clickAt(window, clearAllButton);
        m_display.clickAt(window, okButton);
        QCOMPARE(exitCodeOf(m_program), 0);
        const QByteArray saved = "d:\\shared\\pelmora.mdb\r\n" + QByteArray(100, '0') + "\r\n";
        QCOMPARE(stationBytes(), saved);
        // Saving again untouched gives the same bytes only if the same settings were shown.
        window = startProgram();
        QVERIFY(!window.isEmpty());
        m_display.clickAt(window, okButton);
        QCOMPARE(exitCodeOf(m_program), 0);
        QCOMPARE(stationBytes(), saved);
    }

    void failedSaveIsReportedAndEndsWithFailure_data() {
        QTest::addColumn<QStringList>("launcher");
        QTest::addColumn<QString>("reason");
        // Windows words its reasons in its own way; any will do there.
        QTest::newRow("folder missing")
            << QStringList{} << (tested.underWine ? "" : "No such file or directory");
        if (!tested.underWine) // Wine does not turn a file size limit into an error
            QTest::newRow("file size limit")
                << QStringList{"prlimit", "--fsize=50", "--"} << "File too large";
    }

    void failedSaveIsReportedAndEndsWithFailure() {
        QFETCH(QStringList, launcher);
        QFETCH(QString, reason);
        const QByteArray old = "d:\\old\\pelmora.mdb\r\n" + QByteArray(100, '1') + "\r\n";
        QFile file(stationFile);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(old) == old.size());
        file.close();
        const QString window = startProgram(launcher);
        QVERIFY(!window.isEmpty());
        if (launcher.isEmpty())
            QVERIFY(QDir(stationFolder).removeRecursively());
        typeInto(window, pathBox, "x");
        m_display.clickAt(window, okButton);
        const QString reportBox = m_display.windowTitled("Larkspur");
        QVERIFY(!reportBox.isEmpty());
        m_display.sendCloseCommand(reportBox);
        QCOMPARE(exitCodeOf(m_program), 1);
        const QString errors = QString::fromUtf8(m_program.readAllStandardError());
        const QString report =
            "Cannot save the station start file \"" + tested.reportedName + "\": " + reason;
        const QString pattern = QRegularExpression::escape(report) + (reason.isEmpty() ? ".+" : "");
        QVERIFY2(errors.contains(QRegularExpression(pattern)), qPrintable(errors));
        QCOMPARE(stationBytes(), launcher.isEmpty() ? QByteArray("<no file>") : old);
    }
};

QTEST_MAIN(TestRealWindow)
#include "tst_realwindow.moc"
