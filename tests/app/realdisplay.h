#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <X11/Xlib.h>

// A virtual X display of the test's own, with the built program started on it
// and driven from outside with xdotool, as an operator would.
class RealDisplay {
public:
    // Xvfb picks a free display itself and says which: no race with other
    // servers. Without -noreset it starts afresh whenever its last client
    // leaves, and drops whoever connects meanwhile.
    bool start() {
        m_xvfb.start("Xvfb", {"-displayfd", "1", "-noreset", "-screen", "0", "1280x800x24",
                              "-nolisten", "tcp"});
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

    // What a window manager sends for the close box or the system menu's Close.
    void sendCloseCommand(const QString& window) const {
        Display* display = XOpenDisplay(m_name.toLatin1().constData());
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

private:
    QProcess m_xvfb;
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
