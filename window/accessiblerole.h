#pragma once

#include <QAccessibleWidget>

// Gives every widget of class T the accessible role given, where Qt would
// give it the role of the Qt class it derives from.
template <typename T, QAccessible::Role role> void useAccessibleRole() {
    static const bool installed =
        (QAccessible::installFactory([](const QString& className, QObject* object) {
             QAccessibleInterface* accessible = nullptr;
             if (className == T::staticMetaObject.className() && object->isWidgetType())
                 accessible = new QAccessibleWidget(static_cast<QWidget*>(object), role);
             return accessible;
         }),
         true);
    Q_UNUSED(installed);
}
