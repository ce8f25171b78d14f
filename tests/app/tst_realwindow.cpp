#include "realdisplay.h"

#include <QDir>
#include <QFile>

// The built program in a real X window: found, clicked and closed from outside.
namespace {

const QString title = QStringLiteral("Pelmora - Set/Change Path to Database");
const QString stationFile = QStringLiteral(TEST_DRIVE "/c/pelmora/pelstart.dat");

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
    // LARKSPUR_PROGRAM names another build of the program, such as an installed
    // one, for the tests that do not depend on its drive root.
    QString m_programPath = qEnvironmentVariable("LARKSPUR_PROGRAM", LARKSPUR_PROGRAM);

    QString startProgram(const QStringList& launcher = {}) {
        m_program.setProcessEnvironment(m_display.environment());
        if (launcher.isEmpty())
            m_program.start(m_programPath);
        else
            m_program.start(launcher.first(), launcher.mid(1) + QStringList{m_programPath});
        if (!m_program.waitForStarted())
            return {};
        return m_display.windowTitled(title);
    }

    void typeInto(const QString& window, const QString& text) {
        m_display.xdotool({"type", "--window", window, "--delay", "5", text});
    }

private slots:
    void initTestCase() { QVERIFY2(m_display.start(), "Xvfb is needed for the real-window tests"); }

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
        typeInto(window, "d:\\shared");
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
        m_display.clickAt(window, pathBox);
        typeInto(window, "x");
        m_display.clickAt(window, okButton);
        const QString report = m_display.windowTitled("Larkspur");
        QVERIFY(!report.isEmpty());
        m_display.sendCloseCommand(report);
        QCOMPARE(exitCodeOf(m_program), 1);
        const QString errors = QString::fromUtf8(m_program.readAllStandardError());
        QVERIFY2(errors.contains("Cannot save the station start file \"" + stationFile +
                                 "\": " + reason),
                 qPrintable(errors));
        QCOMPARE(stationBytes(), launcher.isEmpty() ? QByteArray("<no file>") : old);
    }
};

QTEST_MAIN(TestRealWindow)
#include "tst_realwindow.moc"
