#!/usr/bin/python3
"""Works the program's windows over the accessibility bus, as a screen reader would: controls are
found by their role and visible name inside a showing window of the given title (blanks
around a title do not count).

    controls.py shown WINDOW                 exit 0 when a window of that title is showing
    controls.py has WINDOW ROLE NAME         exit 0 when the window shows that control
    controls.py press WINDOW ROLE NAME       do the control's first action (press, toggle)
    controls.py leave WINDOW ROLE NAME       move the keyboard focus into the control and out again
    controls.py read WINDOW ROLE NAME        print the control's text (a picker's shown value)
    controls.py names WINDOW                 print role and name of every control, one a line

ROLE is one of button, check, radio, picker. Exits 1 while the program, the window or the control
cannot be found (the program may still be starting, or the window still opening)."""
import sys

import pyatspi

ROLES = {
    "button": pyatspi.ROLE_PUSH_BUTTON,
    "check": pyatspi.ROLE_CHECK_BOX,
    "radio": pyatspi.ROLE_RADIO_BUTTON,
    "picker": pyatspi.ROLE_SPIN_BUTTON,
}
WINDOW_ROLES = (pyatspi.ROLE_DIALOG, pyatspi.ROLE_FRAME, pyatspi.ROLE_WINDOW)


def program():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "halvix":
            return app
    return None


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def window(title):
    app = program()
    if app is None:
        return None
    for i in range(app.childCount):
        node = app.getChildAtIndex(i)
        if node is not None and node.getRole() in WINDOW_ROLES and node.name.strip() == title and showing(node):
            return node
    return None


def descendants(node, depth=0):
    # The dialogs nest their controls a few frames deep; lists are not searched (their cells are many).
    if node is None or depth > 8:
        return
    yield node
    if node.getRole() == pyatspi.ROLE_TABLE:
        return
    for i in range(node.childCount):
        yield from descendants(node.getChildAtIndex(i), depth + 1)


def control(title, role, name):
    win = window(title)
    if win is None:
        return None
    for node in descendants(win):
        if node.getRole() == ROLES[role] and node.name == name and showing(node):
            return node
    return None


def focus_in_and_out(node):
    # A picker takes what was typed or stepped when it loses the focus, as after a Tab.
    if not node.queryComponent().grabFocus():
        return 1
    parent = node.parent
    for i in range(parent.childCount):
        other = parent.getChildAtIndex(i)
        if other.getRole() == pyatspi.ROLE_PUSH_BUTTON and showing(other):
            return 0 if other.queryComponent().grabFocus() else 1
    return 1


def main(args):
    command = args[0]
    if command == "shown":
        return 0 if window(args[1]) is not None else 1
    if command == "names":
        win = window(args[1])
        if win is None:
            return 1
        for node in descendants(win):
            print(f"{node.getRoleName()}\t{node.name}")
        return 0
    found = control(args[1], args[2], args[3])
    if found is None:
        return 1
    if command == "has":
        return 0
    if command == "press":
        found.queryAction().doAction(0)
        return 0
    if command == "leave":
        return focus_in_and_out(found)
    if command == "read":
        print(found.queryText().getText(0, -1))
        return 0
    print(f"unknown command {command}", file=sys.stderr)
    return 2


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except Exception as error:  # the bus or the window is not ready yet, or has just gone
        print(error, file=sys.stderr)
        sys.exit(1)
