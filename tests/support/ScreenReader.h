#pragma once

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QWidget>

namespace halvix::test {

// What a screen reader sees of a control and does with it over the accessibility bus.
inline QAccessible::Role accessibleRole(QWidget* control) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
    return accessible ? accessible->role() : QAccessible::NoRole;
}

// The control's first action (press, toggle), the one a screen reader offers for it. False when it
// has none.
inline bool doFirstAction(QWidget* control) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
    QAccessibleActionInterface* actions = accessible ? accessible->actionInterface() : nullptr;
    if (!actions || actions->actionNames().isEmpty())
        return false;
    actions->doAction(actions->actionNames().constFirst());
    return true;
}

} // namespace halvix::test
