// Starts the floor program and Larkspur in turns on the X display in DISPLAY
// and measures each run: the time from exec to its titled window being
// mapped, its peak resident memory, and for Larkspur the time from a click on
// OK or on QUIT to the program's end. Usage: startbench [RUNS_EACH]
// LARKSPUR_BASELINE names another build of Larkspur on the same drive, such
// as that of an earlier commit; it then runs in turns with the other two.
#include "larkspur-config.h"
#include "layout.h"
#include "realdisplay.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

struct Program {
    const char* path;
    const char* title;
};
const Program floorProgram{FLOOR_PROGRAM, "Floor"};
const Program larkspur{LARKSPUR_PROGRAM, LARKSPUR_WINDOW_TITLE};
const char* const baselinePath = std::getenv("LARKSPUR_BASELINE");

// Where Larkspur's buttons lie in its client area, in pixels.
struct Point {
    int x, y;
};
Point centreOf(std::string_view control) {
    const QPoint centre = placedControl(control).rect.toPixels().center();
    return {centre.x(), centre.y()};
}
const Point okButton = centreOf("cmdOk");
const Point quitButton = centreOf("cmdQuit");

// Long enough for the window to be painted and idle before it is ended.
constexpr auto settleTime = std::chrono::milliseconds(400);
constexpr auto giveUpTime = std::chrono::seconds(20);

enum class Ending { CloseCommand, Quit, Ok };

struct Run {
    double mappedMs = 0;
    double endingMs = 0; // from the click or close command to the program's end
    double peakMb = 0;
};

[[noreturn]] void fail(const std::string& why) {
    std::fprintf(stderr, "startbench: %s\n", why.c_str());
    std::exit(1);
}

const std::string stationContents = [] {
    std::string digits;
    for (int position = 0; position < 100; ++position)
        digits += "0112"[position % 4];
    return "d:\\shared\\pelmora.mdb\r\n" + digits + "\r\n";
}();
const std::filesystem::path stationFile = BENCH_DRIVE "/c/pelmora/pelstart.dat";

void putStationFile() {
    std::filesystem::create_directories(stationFile.parent_path());
    std::ofstream(stationFile, std::ios::binary | std::ios::trunc) << stationContents;
}

std::string stationFileContents() {
    std::ifstream file(stationFile, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

class XDisplay {
public:
    XDisplay()
        : m_display(XOpenDisplay(nullptr)) {
        if (!m_display)
            fail("cannot open the X display in DISPLAY");
        int event, error, major, minor;
        if (!XTestQueryExtension(m_display, &event, &error, &major, &minor))
            fail("the X server has no XTest extension");
        XSelectInput(m_display, DefaultRootWindow(m_display), SubstructureNotifyMask);
        XSync(m_display, False);
    }
    ~XDisplay() { XCloseDisplay(m_display); }
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    void forgetEvents() { XSync(m_display, True); }

    // The first top-level window with this title to be mapped from now on.
    Window waitForMap(const char* title) {
        const auto deadline = Clock::now() + giveUpTime;
        pollfd connection{ConnectionNumber(m_display), POLLIN, 0};
        while (Clock::now() < deadline) {
            while (XPending(m_display)) {
                XEvent event;
                XNextEvent(m_display, &event);
                if (event.type == MapNotify && titleOf(event.xmap.window) == title)
                    return event.xmap.window;
            }
            poll(&connection, 1, 50);
        }
        fail(std::string("no window titled \"") + title + "\" appeared");
    }

    void click(Window window, Point point) {
        XWarpPointer(m_display, None, window, 0, 0, 0, 0, point.x, point.y);
        XTestFakeButtonEvent(m_display, 1, True, CurrentTime);
        XTestFakeButtonEvent(m_display, 1, False, CurrentTime);
        XFlush(m_display);
    }

    Display* connection() const { return m_display; }

private:
    std::string titleOf(Window window) {
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        const Atom name = XInternAtom(m_display, "_NET_WM_NAME", False);
        std::string title;
        if (XGetWindowProperty(m_display, window, name, 0, 1024, False, AnyPropertyType, &type,
                               &format, &count, &after, &data) == Success &&
            data) {
            title.assign(reinterpret_cast<char*>(data), count);
            XFree(data);
        }
        return title;
    }

    Display* m_display;
};

Run runOnce(XDisplay& display, const Program& program, Ending ending) {
    display.forgetEvents();
    char* arguments[] = {const_cast<char*>(program.path), nullptr};
    const auto started = Clock::now();
    pid_t pid;
    if (posix_spawn(&pid, program.path, nullptr, nullptr, arguments, environ) != 0)
        fail(std::string("cannot start ") + program.path);
    const Window window = display.waitForMap(program.title);
    Run run;
    run.mappedMs = Milliseconds(Clock::now() - started).count();
    std::this_thread::sleep_for(settleTime);
    const auto endingStarted = Clock::now();
    if (ending == Ending::CloseCommand)
        sendCloseCommand(display.connection(), window);
    else
        display.click(window, ending == Ending::Ok ? okButton : quitButton);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail(std::string(program.path) + " did not end with status 0");
    run.endingMs = Milliseconds(Clock::now() - endingStarted).count();
    run.peakMb = usage.ru_maxrss / 1024.0;
    if (stationFileContents() != stationContents)
        fail("the station start file changed");
    return run;
}

struct Summary {
    double median, lowQuartile, highQuartile, minimum, maximum;
};

Summary summarise(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const auto at = [&](double share) {
        const double index = share * double(values.size() - 1);
        const auto below = static_cast<size_t>(index);
        const size_t above = std::min(below + 1, values.size() - 1);
        return values[below] + (index - double(below)) * (values[above] - values[below]);
    };
    return {at(0.5), at(0.25), at(0.75), values.front(), values.back()};
}

template <typename Field> std::vector<double> column(const std::vector<Run>& runs, Field field) {
    std::vector<double> values;
    for (const Run& run : runs)
        values.push_back(run.*field);
    return values;
}

std::vector<double> operator+(std::vector<double> first, const std::vector<double>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

void printRow(const char* what, const char* unit, const Summary& s) {
    std::printf("| %-34s | %8.1f %s | %6.1f - %6.1f | %6.1f - %6.1f |\n", what, s.median, unit,
                s.lowQuartile, s.highQuartile, s.minimum, s.maximum);
}

} // namespace

int main(int argc, char* argv[]) {
    const int runsEach = argc > 1 ? std::atoi(argv[1]) : 30;
    if (runsEach < 2)
        fail("give at least 2 runs of each program");
    putStationFile();
    XDisplay display;
    // One unmeasured run of each first: the system's caches are then warm for both.
    runOnce(display, floorProgram, Ending::CloseCommand);
    runOnce(display, larkspur, Ending::Quit);

    // All programs ended the same way, by the close command, so that only
    // their start-up and their windows are compared. Rotating which goes
    // first cancels any drift of the machine between them.
    std::vector<const Program*> programs{&floorProgram, &larkspur};
    const Program baseline{baselinePath, larkspur.title};
    if (baselinePath) {
        programs.push_back(&baseline);
        runOnce(display, baseline, Ending::Quit);
    }
    std::vector<std::vector<Run>> closeRuns(programs.size());
    for (int round = 0; round < runsEach; ++round) {
        for (size_t turn = 0; turn < programs.size(); ++turn) {
            const size_t which = (turn + size_t(round)) % programs.size();
            closeRuns[which].push_back(runOnce(display, *programs[which], Ending::CloseCommand));
        }
    }
    const std::vector<Run>& floorRuns = closeRuns[0];
    const std::vector<Run>& larkspurRuns = closeRuns[1];
    // Then Larkspur ended by its buttons, in turns: QUIT, and OK with its save.
    std::vector<Run> quitRuns, okRuns;
    for (int round = 0; round < runsEach; ++round) {
        const bool okFirst = round % 2;
        (okFirst ? okRuns : quitRuns)
            .push_back(runOnce(display, larkspur, okFirst ? Ending::Ok : Ending::Quit));
        (okFirst ? quitRuns : okRuns)
            .push_back(runOnce(display, larkspur, okFirst ? Ending::Quit : Ending::Ok));
    }

    const Summary floorMap = summarise(column(floorRuns, &Run::mappedMs));
    const Summary larkspurMap = summarise(column(larkspurRuns, &Run::mappedMs));
    const Summary floorPeak = summarise(column(floorRuns, &Run::peakMb));
    const Summary larkspurPeak = summarise(column(larkspurRuns, &Run::peakMb));
    const Summary quit = summarise(column(quitRuns, &Run::endingMs));
    const Summary ok = summarise(column(okRuns, &Run::endingMs));
    const Summary buttonPeak =
        summarise(column(quitRuns, &Run::peakMb) + column(okRuns, &Run::peakMb));
    std::printf("%d runs of each program, alternating, then %d each of QUIT and OK.\n\n", runsEach,
                runsEach);
    std::printf("| %-34s | %11s | %15s | %15s |\n", "measure", "median", "middle half", "all runs");
    std::printf("|%s|%s|%s|%s|\n", std::string(36, '-').c_str(), std::string(13, '-').c_str(),
                std::string(17, '-').c_str(), std::string(17, '-').c_str());
    printRow("exec to window mapped, floor", "ms", floorMap);
    printRow("exec to window mapped, Larkspur", "ms", larkspurMap);
    printRow("peak resident memory, floor", "MB", floorPeak);
    printRow("peak resident memory, Larkspur", "MB", larkspurPeak);
    printRow("click on QUIT to program end", "ms", quit);
    printRow("click on OK to program end, saved", "ms", ok);
    printRow("peak memory with QUIT or OK", "MB", buttonPeak);
    if (baselinePath) {
        const Summary baselineMap = summarise(column(closeRuns[2], &Run::mappedMs));
        const Summary baselinePeak = summarise(column(closeRuns[2], &Run::peakMb));
        printRow("exec to window mapped, baseline", "ms", baselineMap);
        printRow("peak resident memory, baseline", "MB", baselinePeak);
        std::printf("\nLarkspur - baseline: time to window %+.2f ms, peak memory %+.2f MB\n",
                    larkspurMap.median - baselineMap.median,
                    larkspurPeak.median - baselinePeak.median);
    }
    std::printf("\nLarkspur / floor: time to window %.3f, peak memory %.3f\n",
                larkspurMap.median / floorMap.median, larkspurPeak.median / floorPeak.median);
    std::printf("OK - QUIT to program end: %.1f ms\n", ok.median - quit.median);
    return 0;
}
