// Where Windows shows the window: its frame, as the desktop window manager
// draws it, centred on the work area of its monitor, title bar on screen.
#include "platform.h"
#include "texts.h"

#include <QProcess>
#include <QTest>
#include <cstdlib>
#include <dwmapi.h>

class TestNativePlacement : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (!wineVersion().isEmpty())
            QSKIP("Wine draws its own frames, not Windows' desktop window manager's: its frame "
                  "bounds are the window's rectangle (Wine 10) or none (Wine 8)");
        BOOL composed = FALSE;
        QVERIFY(SUCCEEDED(DwmIsCompositionEnabled(&composed)) && composed);
    }

    void frameIsCentredOnTheWorkArea() {
        QProcess larkspur;
        larkspur.start(LARKSPUR_PROGRAM, {});
        QVERIFY(larkspur.waitForStarted());
        HWND handle = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((handle = shownWindowOf(larkspur, windowTitle)) != nullptr, 20000);
        RECT drawn{}, window{};
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        const bool measured =
            SUCCEEDED(
                DwmGetWindowAttribute(handle, DWMWA_EXTENDED_FRAME_BOUNDS, &drawn, sizeof drawn)) &&
            GetWindowRect(handle, &window) &&
            GetMonitorInfoW(MonitorFromWindow(handle, MONITOR_DEFAULTTONEAREST), &monitor);
        PostMessageW(handle, WM_CLOSE, 0, 0);
        QVERIFY(larkspur.waitForFinished(20000));
        QVERIFY(measured);
        const RECT& work = monitor.rcWork;
        QVERIFY2(drawn.top >= work.top && drawn.left >= work.left, "title bar off the work area");
        // The window's rectangle holds invisible resize borders at its sides
        // and bottom, not at its top: centring that rectangle leaves the drawn
        // frame off centre by half the difference between opposite borders.
        const auto centred = [](LONG low, LONG high, LONG workLow, LONG workHigh, LONG insetLow,
                                LONG insetHigh) {
            return std::abs((low + high) - (workLow + workHigh)) <=
                   std::abs(insetLow - insetHigh) + 1;
        };
        QVERIFY(centred(drawn.left, drawn.right, work.left, work.right, drawn.left - window.left,
                        window.right - drawn.right));
        QVERIFY(centred(drawn.top, drawn.bottom, work.top, work.bottom, drawn.top - window.top,
                        window.bottom - drawn.bottom));
        QCOMPARE(larkspur.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestNativePlacement)
#include "tst_nativeplacement.moc"
