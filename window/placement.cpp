#include "placement.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace {

QPoint framePositionOn(const QWidget* window, const QMargins& frame) {
    return centredFramePosition(window->screen()->availableGeometry(), frame, window->size());
}

// Waits for the window manager's frame, places the window with it once, and goes.
class FrameWatch : public QObject {
public:
    FrameWatch(QWidget* window, const QMargins& placedWith)
        : QObject(window->windowHandle())
        , m_window(window)
        , m_placedWith(placedWith) {
        window->windowHandle()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QMargins frame = m_window->windowHandle()->frameMargins();
        if (event->type() == QEvent::Expose && !frame.isNull()) {
            // Through the window itself: the widget may not know the frame yet.
            if (frame != m_placedWith)
                m_window->windowHandle()->setFramePosition(framePositionOn(m_window, frame));
            m_window->windowHandle()->removeEventFilter(this);
            deleteLater();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* m_window;
    QMargins m_placedWith;
};

} // namespace

QPoint centredFramePosition(const QRect& available, const QMargins& frame, QSize window) {
    QRect outer = QRect(QPoint(), window).marginsAdded(frame);
    outer.moveCenter(available.center());
    return {std::max(outer.left(), available.left()), std::max(outer.top(), available.top())};
}

void showCentred(QWidget* window) {
    window->winId(); // the native window, whose frame Windows knows already
    const QMargins frame = window->windowHandle()->frameMargins();
    window->move(framePositionOn(window, frame)); // a window's position is its frame's
    new FrameWatch(window, frame);
    window->show();
}
