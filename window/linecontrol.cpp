#include "linecontrol.h"

#include <QAccessibleWidget>
#include <QPainter>

namespace {
// Screen readers pass over separators instead of announcing empty panes.
QAccessibleInterface* accessibleLine(const QString& className, QObject* object) {
    if (className == QLatin1String(LineControl::staticMetaObject.className()) &&
        object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Separator);
    return nullptr;
}
} // namespace

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
    static const bool factoryInstalled = (QAccessible::installFactory(accessibleLine), true);
    Q_UNUSED(factoryInstalled);
}

void LineControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::WindowText));
}
