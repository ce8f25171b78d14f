#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <X11/Xlib.h>

// The built program in a real X window: found, clicked and closed from outside.
namespace {

const QString title = QStringLiteral("Pelmora - Set/Change Path to Database");
const QString stationFile = QStringLiteral(TEST_DRIVE "/c/pelmora/pelstart.dat");

// Client-area points of the controls, in pixels.
const QStringList pathBox{"348", "9"};
const QStringList okButton{"384", "536"};
const QStringList quitButton{"480", "536"};
const QStringList clearAllButton{"768", "536"};

QByteArray stationBytes() {
    QFile file(stationFile);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
}

} // namespace

class TestRealWindow : public QObject {
    Q_OBJECT

    QProcess m_xvfb;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    QString m_display;
    QProcess m_program;
    // LARKSPUR_PROGRAM names another build of the program, such as an installed
    // one, for the tests that do not depend on its drive root.
    QString m_programPath = qEnvironmentVariable("LARKSPUR_PROGRAM", LARKSPUR_PROGRAM);

    QString xdotool(const QStringList& arguments) {
        QProcess process;
        process.setProcessEnvironment(m_environment);
        process.start("xdotool", arguments);
        process.waitForFinished(20000);
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }

    // The first window with exactly this title, waiting for it to appear.
    QString windowTitled(const QString& name) {
        return xdotool({"search", "--sync", "--onlyvisible", "--name",
                        "^" + QRegularExpression::escape(name) + "$"})
            .section('\n', 0, 0);
    }

    void clickAt(const QString& window, const QStringList& point) {
        xdotool({"mousemove", "--window", window, point[0], point[1], "click", "1"});
    }

    QString startProgram(const QStringList& launcher = {}) {
        m_program.setProcessEnvironment(m_environment);
        if (launcher.isEmpty())
            m_program.start(m_programPath);
        else
            m_program.start(launcher.first(), launcher.mid(1) + QStringList{m_programPath});
        if (!m_program.waitForStarted())
            return {};
        return windowTitled(title);
    }

    int exitCode() {
        if (!m_program.waitForFinished(20000) || m_program.exitStatus() != QProcess::NormalExit)
            return -1;
        return m_program.exitCode();
    }

    // What a window manager sends for the close box or the system menu's Close.
    void sendCloseCommand(const QString& window) {
        Display* display = XOpenDisplay(m_display.toLatin1().constData());
        QVERIFY(display);
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window.toULong();
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] =
            static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
        XCloseDisplay(display);
    }

private slots:
    void initTestCase() {
        // Xvfb picks a free display itself and says which: no race with other servers.
        m_xvfb.start("Xvfb",
                     {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
        QVERIFY2(m_xvfb.waitForStarted(), "Xvfb is needed for the real-window tests");
        QTRY_VERIFY_WITH_TIMEOUT(m_xvfb.canReadLine() || m_xvfb.state() == QProcess::NotRunning,
                                 10000);
        const QString number = QString::fromLatin1(m_xvfb.readLine()).trimmed();
        QVERIFY2(!number.isEmpty(), "Xvfb did not start a display");
        m_display = ":" + number;
        m_environment.insert("DISPLAY", m_display);
        m_environment.remove("WAYLAND_DISPLAY");
        m_environment.remove("QT_QPA_PLATFORM");
        QVERIFY(!xdotool({"getdisplaygeometry"}).isEmpty());
    }

    void cleanupTestCase() {
        m_xvfb.terminate();
        m_xvfb.waitForFinished();
    }

    void init() {
        QDir(TEST_DRIVE).removeRecursively();
        QVERIFY(QDir().mkpath(TEST_DRIVE "/c/pelmora"));
    }

    void cleanup() {
        if (m_program.state() != QProcess::NotRunning) {
            m_program.kill();
            m_program.waitForFinished();
        }
    }

    void endsWithStatusZero_data() {
        QTest::addColumn<bool>("byQuit");
        QTest::newRow("QUIT") << true;
        QTest::newRow("close command") << false;
    }

    void endsWithStatusZero() {
        QFETCH(bool, byQuit);
        const QString window = startProgram();
        QVERIFY(!window.isEmpty());
        QCOMPARE(xdotool({"getwindowname", window}), title);
        clickAt(window, clearAllButton);
        if (byQuit)
            clickAt(window, quitButton);
        else
            sendCloseCommand(window);
        QCOMPARE(exitCode(), 0);
        QCOMPARE(stationBytes(), "<no file>");
    }

    void savedSettingsShowAtTheNextStart() {
        QString window = startProgram();
        QVERIFY(!window.isEmpty());
        clickAt(window, pathBox);
        xdotool({"key", "--window", window, "ctrl+a"});
        xdotool({"type", "--window", window, "--delay", "5", "d:\\shared"});
        clickAt(window, clearAllButton);
        clickAt(window, okButton);
        QCOMPARE(exitCode(), 0);
        const QByteArray saved = "d:\\shared\\pelmora.mdb\r\n" + QByteArray(100, '0') + "\r\n";
        QCOMPARE(stationBytes(), saved);
        // Saving again untouched gives the same bytes only if the same settings were shown.
        window = startProgram();
        QVERIFY(!window.isEmpty());
        clickAt(window, okButton);
        QCOMPARE(exitCode(), 0);
        QCOMPARE(stationBytes(), saved);
    }

    void failedSaveIsReportedAndEndsWithFailure_data() {
        QTest::addColumn<QStringList>("launcher");
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder missing") << QStringList{} << "No such file or directory";
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
            QVERIFY(QDir(TEST_DRIVE "/c/pelmora").removeRecursively());
        clickAt(window, pathBox);
        xdotool({"type", "--window", window, "x"});
        clickAt(window, okButton);
        const QString report = windowTitled("Larkspur");
        QVERIFY(!report.isEmpty());
        sendCloseCommand(report);
        QCOMPARE(exitCode(), 1);
        const QString errors = QString::fromUtf8(m_program.readAllStandardError());
        QVERIFY2(errors.contains("Cannot save the station start file \"" + stationFile +
                                 "\": " + reason),
                 qPrintable(errors));
        QCOMPARE(stationBytes(), launcher.isEmpty() ? QByteArray("<no file>") : old);
    }
};

QTEST_MAIN(TestRealWindow)
#include "tst_realwindow.moc"
