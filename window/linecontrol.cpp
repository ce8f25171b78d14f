#include "linecontrol.h"

#include "accessiblerole.h"

#include <QPainter>

LineControl::LineControl(QPoint from, QPoint to, int widthPixels, QWidget* parent)
    : QWidget(parent) {
    Q_ASSERT(from.x() == to.x() || from.y() == to.y());
    QRect band = QRect(from, to).normalized();
    if (from.x() == to.x())
        band.setWidth(widthPixels);
    else
        band.setHeight(widthPixels);
    setGeometry(band);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // Screen readers pass over separators instead of announcing empty panes.
    useAccessibleRole<LineControl, QAccessible::Separator>();
}

void LineControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::WindowText));
}
