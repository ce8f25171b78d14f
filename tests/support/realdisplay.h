#pragma once

#include "layout.h"

#include <QDeadlineTimer>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <memory>

// Where a control of the window lies, in pixels of its client area: the
// middle of its place in the layout table.
inline QPoint centreOf(std::string_view control) {
    return placedControl(control).rect.toPixels().center();
}

// What a window manager sends for the close box or the system menu's Close.
inline bool sendCloseCommand(Display* display, Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(display, window, False, NoEventMask, &event) != 0;
    XFlush(display);
    return sent;
}

// A virtual X display of the test's own, with the built program started on it
// and driven from outside with xdotool, as an operator would.
class RealDisplay {
public:
    // Xvfb picks a free display itself and says which: no race with other
    // servers. Without -noreset it starts afresh whenever its last client
    // leaves, and drops whoever connects meanwhile.
    bool start(QSize screen = {1280, 800}) {
        const QString size = QStringLiteral("%1x%2x24").arg(screen.width()).arg(screen.height());
        m_xvfb.start("Xvfb",
                     {"-displayfd", "1", "-noreset", "-screen", "0", size, "-nolisten", "tcp"});
        if (!m_xvfb.waitForStarted())
            return false;
        QDeadlineTimer deadline(10000);
        while (!m_xvfb.canReadLine() && m_xvfb.state() == QProcess::Running &&
               !deadline.hasExpired())
            m_xvfb.waitForReadyRead(100);
        const QString number = QString::fromLatin1(m_xvfb.readLine()).trimmed();
        if (number.isEmpty())
            return false;
        m_name = ":" + number;
        m_environment.insert("DISPLAY", m_name);
        m_environment.remove("WAYLAND_DISPLAY");
        m_environment.remove("QT_QPA_PLATFORM");
        return !xdotool({"getdisplaygeometry"}).isEmpty();
    }

    ~RealDisplay() {
        stopWindowManager();
        m_xvfb.terminate();
        m_xvfb.waitForFinished();
    }

    // What programs on the display run with.
    const QProcessEnvironment& environment() const { return m_environment; }

    QString xdotool(const QStringList& arguments) const {
        QProcess process;
        process.setProcessEnvironment(m_environment);
        process.start("xdotool", arguments);
        process.waitForFinished(20000);
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }

    // The first visible window with exactly this title, looked for every 20 ms
    // for as long as given; empty when none came. Wine takes seconds to start
    // a program, more on a busy machine.
    QString windowTitled(const QString& title, int timeoutMs = 60000) const {
        const QStringList search{"search", "--onlyvisible", "--name",
                                 "^" + QRegularExpression::escape(title) + "$"};
        for (QDeadlineTimer deadline(timeoutMs); !deadline.hasExpired(); QThread::msleep(20)) {
            const QString found = xdotool(search).section('\n', 0, 0);
            if (!found.isEmpty())
                return found;
        }
        return {};
    }

    void clickAt(const QString& window, QPoint point) const {
        xdotool({"mousemove", "--window", window, QString::number(point.x()),
                 QString::number(point.y()), "click", "1"});
    }

    // A small window manager from Debian's (openbox), until stopWindowManager();
    // true once it runs.
    bool startWindowManager() {
        m_windowManager.setProcessEnvironment(m_environment);
        m_windowManager.start("openbox", {"--sm-disable"});
        const auto connection = open();
        const Atom check = XInternAtom(connection.get(), "_NET_SUPPORTING_WM_CHECK", False);
        for (QDeadlineTimer deadline(20000); !deadline.hasExpired(); QThread::msleep(20)) {
            if (!property(DefaultRootWindow(connection.get()), check).isEmpty())
                return true;
        }
        return false;
    }

    void stopWindowManager() {
        m_windowManager.terminate();
        m_windowManager.waitForFinished();
    }

    // The window with the frame the window manager puts round it, on the screen.
    QRect frameOf(const QString& window) const {
        const auto connection = open();
        Display* display = connection.get();
        const Window id = window.toULong();
        int x = 0, y = 0;
        Window child = 0;
        XWindowAttributes attributes{};
        if (!XTranslateCoordinates(display, id, DefaultRootWindow(display), 0, 0, &x, &y, &child) ||
            !XGetWindowAttributes(display, id, &attributes))
            return {};
        const QList<long> extents = property(id, XInternAtom(display, "_NET_FRAME_EXTENTS", False));
        QRect frame(x, y, attributes.width, attributes.height);
        if (extents.size() == 4)
            frame.adjust(-int(extents[0]), -int(extents[2]), int(extents[1]), int(extents[3]));
        return frame;
    }

    // What the window shows, as a magnifier would see it: 24-bit colour, 32 bits a pixel.
    QImage grab(const QString& window) const {
        const auto connection = open();
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(connection.get(), window.toULong(), &attributes))
            return {};
        XImage* image = XGetImage(connection.get(), window.toULong(), 0, 0, attributes.width,
                                  attributes.height, AllPlanes, ZPixmap);
        if (!image)
            return {};
        const QImage copy = QImage(reinterpret_cast<const uchar*>(image->data), image->width,
                                   image->height, image->bytes_per_line, QImage::Format_RGB32)
                                .copy();
        XDestroyImage(image);
        return copy;
    }

    bool sendCloseCommand(const QString& window) const {
        return ::sendCloseCommand(open().get(), window.toULong());
    }

private:
    using Connection = std::unique_ptr<Display, decltype(&XCloseDisplay)>;

    Connection open() const {
        return {XOpenDisplay(m_name.toLatin1().constData()), &XCloseDisplay};
    }

    // A window's property of 32-bit items; empty when it has none.
    QList<long> property(Window window, Atom name) const {
        const auto connection = open();
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        QList<long> items;
        if (XGetWindowProperty(connection.get(), window, name, 0, 64, False, AnyPropertyType, &type,
                               &format, &count, &after, &data) == Success &&
            format == 32)
            items =
                QList<long>(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
        if (data)
            XFree(data);
        return items;
    }

    QProcess m_xvfb;
    QProcess m_windowManager;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    QString m_name;
};

// Ends what a test left running.
inline void killIfRunning(QProcess& program) {
    if (program.state() != QProcess::NotRunning) {
        program.kill();
        program.waitForFinished();
    }
}

// The exit status of a program that should end by itself, or -1 when it did not.
inline int exitCodeOf(QProcess& program) {
    if (!program.waitForFinished(60000) || program.exitStatus() != QProcess::NormalExit)
        return -1;
    return program.exitCode();
}
