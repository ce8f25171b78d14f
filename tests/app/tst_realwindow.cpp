#include "files.h"
#include "realdisplay.h"
#include "texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QTemporaryFile>

// The built program in a real X window: found, clicked and closed from outside.
namespace {

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

} // namespace

class TestRealWindow : public QObject {
    Q_OBJECT

    RealDisplay m_display;
    QProcess m_program;

    QString startProgram(QStringList launcher = {}, const QStringList& arguments = {},
                         const RealDisplay* display = nullptr) {
        display = display ? display : &m_display;
        launcher += tested.launcher;
        launcher << tested.program << arguments;
        m_program.setProcessEnvironment(display->environment());
        m_program.start(launcher.first(), launcher.mid(1));
        if (!m_program.waitForStarted())
            return {};
        return display->windowTitled(windowTitle);
    }

    // The window's picture once it is painted (more than its background) and
    // has not changed for a second (Wine may show a window's paint in parts),
    // or once it equals the one wanted; but for the path box, where the text
    // cursor blinks, and with the pointer on a bare spot of it: buttons and
    // boxes light up under it.
    QImage pictureOf(const QString& window, const QImage& wanted = {}) {
        const QPoint bare(780, 30);
        m_display.xdotool({"mousemove", "--window", window, QString::number(bare.x()),
                           QString::number(bare.y())});
        const auto grab = [&] {
            QImage shown = m_display.grab(window);
            if (!shown.isNull())
                QPainter(&shown).fillRect(placedControl("txtPath").rect.toPixels(), Qt::black);
            return shown;
        };
        // A line, drawn in the text's colour, on the bare window's.
        const LineEnds& line = lineEnds.front();
        const QPoint onLine((line.x1 + line.x2) / 2 / twipsPerPixel,
                            (line.y1 + line.y2) / 2 / twipsPerPixel);
        const auto painted = [&](const QImage& picture) {
            return !picture.isNull() && picture.pixel(onLine) != picture.pixel(bare);
        };
        QImage last = grab();
        int unchanged = 0;
        for (QDeadlineTimer deadline(60000); !deadline.hasExpired(); QThread::msleep(100)) {
            const QImage next = grab();
            if (!wanted.isNull() && next == wanted)
                return next;
            unchanged = painted(next) && next == last ? unchanged + 1 : 0;
            if (wanted.isNull() && unchanged == 10)
                return next;
            last = next;
        }
        return last;
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

    void cleanup() {
        killIfRunning(m_program);
        m_display.stopWindowManager();
    }

    void endsWithStatusZero_data() {
        QTest::addColumn<QString>("by");
        QTest::newRow("QUIT") << "click";
        QTest::newRow("close command") << "close";
        // Pressed, and let go on a bare spot of the window, which Wine gives
        // the keys: the focus stays on it, unpressed.
        QTest::newRow("Enter on the focused QUIT") << "Return";
        QTest::newRow("keypad Enter on the focused QUIT") << "KP_Enter";
    }

    void endsWithStatusZero() {
        QFETCH(QString, by);
        const QString window = startProgram();
        QVERIFY(!window.isEmpty());
        QCOMPARE(m_display.xdotool({"getwindowname", window}), windowTitle);
        m_display.clickAt(window, centreOf("cmdClearAll"));
        const QPoint quit = centreOf("cmdQuit");
        if (by == "click")
            m_display.clickAt(window, quit);
        else if (by == "close")
            QVERIFY(m_display.sendCloseCommand(window));
        else
            m_display.xdotool({"mousemove", "--window", window, QString::number(quit.x()),
                               QString::number(quit.y()), "mousedown", "1", "mousemove", "--window",
                               window, "780", "30", "mouseup", "1", "key", by});
        QCOMPARE(exitCodeOf(m_program), 0);
        QCOMPARE(readFile(stationFile), "<no file>");
    }

    void savedSettingsShowAtTheNextStart() {
        QString window = startProgram();
        QVERIFY(!window.isEmpty());
        m_display.clickAt(window, centreOf("txtPath"));
        m_display.xdotool({"key", "--window", window, "ctrl+a"});
        typeInto(window, centreOf("txtPath"), "d:\\shared");
        m_display.clickAt(window, centreOf("cmdClearAll"));
        m_display.clickAt(window, centreOf("cmdOk"));
        QCOMPARE(exitCodeOf(m_program), 0);
        const QByteArray saved = stationFileBytes("d:\\shared", QByteArray(100, '0'));
        QCOMPARE(readFile(stationFile), saved);
        // Saving again untouched gives the same bytes only if the same settings were shown.
        window = startProgram();
        QVERIFY(!window.isEmpty());
        m_display.clickAt(window, centreOf("cmdOk"));
        QCOMPARE(exitCodeOf(m_program), 0);
        QCOMPARE(readFile(stationFile), saved);
    }

    // Any failure will do, the same under Wine: which ones there are is
    // tst_stationfile's, and the words are Larkspur's own here.
    void failedSaveIsReportedAndEndsWithFailure() {
        QVERIFY(writeFile(stationFile, oldStation));
        QVERIFY(QFile::setPermissions(stationFile, QFile::ReadOwner | QFile::ReadGroup));
        const QString window = startProgram();
        QVERIFY(!window.isEmpty());
        typeInto(window, centreOf("txtPath"), "x");
        m_display.clickAt(window, centreOf("cmdOk"));
        const QString reportBox = m_display.windowTitled("Larkspur");
        QVERIFY(!reportBox.isEmpty());
        QVERIFY(m_display.sendCloseCommand(reportBox));
        QCOMPARE(exitCodeOf(m_program), 1);
        const QString errors = QString::fromUtf8(m_program.readAllStandardError());
        QVERIFY2(errors.contains(saveFailure + " \"" + tested.reportedName +
                                 "\": The file is read-only"),
                 qPrintable(errors));
        QCOMPARE(readFile(stationFile), oldStation);
    }

    // It has no command line: Qt's own options change nothing, nor move it
    // off the screen.
    void qtOptionsChangeNothing_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("-reverse") << QStringList{"-reverse"};
        QTest::newRow("-style") << QStringList{"-style", "windows"};
        QTest::newRow("-stylesheet") << QStringList{"-stylesheet", "to be written"};
        QTest::newRow("-platform") << QStringList{"-platform", "offscreen"};
    }

    void qtOptionsChangeNothing() {
        QFETCH(QStringList, arguments);
        QTemporaryFile styleSheet;
        QVERIFY(styleSheet.open() && styleSheet.write("* { background: red; }") > 0);
        styleSheet.close();
        arguments.replaceInStrings("to be written", styleSheet.fileName());
        QString window = startProgram();
        QVERIFY(!window.isEmpty());
        const QImage plain = pictureOf(window);
        m_display.clickAt(window, centreOf("cmdQuit"));
        QCOMPARE(exitCodeOf(m_program), 0);
        window = startProgram({}, arguments);
        QVERIFY2(!window.isEmpty(), "no window on the display");
        QVERIFY(pictureOf(window, plain) == plain);
        m_display.clickAt(window, centreOf("cmdQuit"));
        QCOMPARE(exitCodeOf(m_program), 0);
    }

    // Centred on the screen with the frame that a window manager puts round
    // it, which it knows only once the window is mapped (where the frame goes
    // on smaller screens is tst_layout's).
    void centredWithItsFrame() {
        const QSize screen(1280, 800);
        if (tested.underWine)
            QSKIP("Under Wine the frame is the window manager's, of which the program's Windows "
                  "knows nothing; on Windows it is Windows' own, known before the window shows");
        RealDisplay display;
        QVERIFY(display.start(screen));
        QVERIFY2(display.startWindowManager(), "openbox is needed for this test");
        const QString window = startProgram({}, {}, &display);
        QVERIFY(!window.isEmpty());
        const auto wanted = [&](QRect frame) {
            frame.moveCenter(QRect(QPoint(), screen).center());
            return frame.topLeft();
        };
        QRect frame;
        const int client = clientArea.toPixels().height();
        for (QDeadlineTimer deadline(20000); !deadline.hasExpired(); QThread::msleep(20)) {
            frame = display.frameOf(window);
            if (frame.height() > client && (frame.topLeft() - wanted(frame)).manhattanLength() <= 1)
                break;
        }
        QVERIFY2(frame.height() > client, "no frame round the window");
        QVERIFY2((frame.topLeft() - wanted(frame)).manhattanLength() <= 1,
                 qPrintable(QStringLiteral("frame %1,%2 %3x%4 on a screen of %5x%6")
                                .arg(frame.x())
                                .arg(frame.y())
                                .arg(frame.width())
                                .arg(frame.height())
                                .arg(screen.width())
                                .arg(screen.height())));
        QVERIFY(display.sendCloseCommand(window));
        QCOMPARE(exitCodeOf(m_program), 0);
    }
};

QTEST_GUILESS_MAIN(TestRealWindow)
#include "tst_realwindow.moc"
