#!/usr/bin/python3
"""Works the program over the accessibility bus, as a screen reader would. Controls are found by
their role and visible name inside a showing window of the given title (blanks around a title do
not count, nor what follows "  —  ": the main window adds the program folder there).

    a11y.py wait                         exit 0 once the program is on the bus (waits up to 30 s)
    a11y.py shown WINDOW                 exit 0 when a window of that title is showing
    a11y.py has WINDOW ROLE NAME         exit 0 when the window shows that control
    a11y.py press WINDOW ROLE NAME       do the control's first action (press, toggle)
    a11y.py leave WINDOW ROLE NAME       move the keyboard focus into the control and out again
    a11y.py read WINDOW ROLE NAME        print the control's text (a picker's shown value)
    a11y.py names WINDOW                 print role and name of every control, one a line
    a11y.py plan                         print the plan list, a row a line, cells between tabs
    a11y.py rowclick WINDOW ROW          a mouse double click on row ROW (from 0) of the window's list
    a11y.py notes                        the same, each row followed by its note (the reason a
                                         red row gives in its tooltip), empty for none
    a11y.py click NAME                   a mouse click on the showing button, radio button or
                                         check box of that name in any of the program's windows
    a11y.py boxes QUIET_SECONDS          print the text of every message box, a line each, and
                                         press its OK, until none has come for QUIET_SECONDS
    a11y.py texts                        print every text a user sees in the program's showing
                                         windows and message boxes, one a line: names,
                                         labels, the column titles of lists (not their cells)
    a11y.py cells WINDOW                 print the rows of the showing lists in the window, a row
                                         a line, cells between tabs (at most 200 rows a list)

ROLE is one of button, check, radio, picker. Exits 1 while the program, the window or the control
cannot be found (the program may still be starting, or the window still opening); click and boxes
first wait up to 30 s for the program."""
import subprocess
import sys
import time

import pyatspi

ROLES = {
    "button": pyatspi.ROLE_PUSH_BUTTON,
    "check": pyatspi.ROLE_CHECK_BOX,
    "radio": pyatspi.ROLE_RADIO_BUTTON,
    "picker": pyatspi.ROLE_SPIN_BUTTON,
}
WINDOW_ROLES = (pyatspi.ROLE_DIALOG, pyatspi.ROLE_ALERT, pyatspi.ROLE_FRAME, pyatspi.ROLE_WINDOW)
OK_NAMES = ("OK", "&OK", "确定")


def program():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "halvix":
            return app
    return None


def program_within(seconds):
    deadline = time.time() + seconds
    app = program()
    while app is None and time.time() < deadline:
        time.sleep(0.3)
        app = program()
    if app is None:
        print("the program is not on the accessibility bus", file=sys.stderr)
    return app


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def walk(node, depth=0):
    # The windows nest their controls a few frames deep. A list is yielded but not entered: its
    # cells are not controls, and thousands of them are slow to walk.
    if node is None or depth > 12:
        return
    yield node
    if node.getRole() == pyatspi.ROLE_TABLE:
        return
    for i in range(node.childCount):
        yield from walk(node.getChildAtIndex(i), depth + 1)


def windows(app, roles):
    for i in range(app.childCount):
        node = app.getChildAtIndex(i)
        if node is not None and node.getRole() in roles:
            yield node


def titled(title):
    app = program()
    if app is None:
        return
    for node in windows(app, WINDOW_ROLES):
        # The main window's title goes on with the program folder after a dash.
        name = node.name.strip()
        if (name == title or name.startswith(title + "  —  ")) and showing(node):
            yield node


def window(title):
    return next(titled(title), None)


def control(title, role, name):
    # A question may carry its window's title: the control is looked for in each.
    for win in titled(title):
        for node in walk(win):
            if node.getRole() == ROLES[role] and node.name == name and showing(node):
                return node
    return None


def double_click_row(title, row):
    win = window(title)
    if win is None:
        return 1
    for node in walk(win):
        if node.getRole() == pyatspi.ROLE_TABLE and showing(node):
            table = node.queryTable()
            if row >= table.nRows:
                return 1
            box = table.getAccessibleAt(row, min(1, table.nColumns - 1)).queryComponent().getExtents(
                pyatspi.DESKTOP_COORDS)
            x, y = box.x + box.width // 2, box.y + box.height // 2
            subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "--repeat", "2", "--delay",
                            "80", "1"], check=True)
            return 0
    return 1


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


def print_plan(with_notes=False):
    app = program()
    if app is None:
        return 1
    for node in walk(app):
        if node.getRole() == pyatspi.ROLE_TABLE and node.name == "今日作息":
            table = node.queryTable()
            for row in range(table.nRows):
                cells = [table.getAccessibleAt(row, c) for c in range(table.nColumns)]
                texts = [cell.name for cell in cells]
                if with_notes:
                    texts.append(cells[0].description if cells else "")
                print("\t".join(texts))
            return 0
    return 1


def click(name):
    # A mouse click where the control is: a check box's own toggle action would not run the
    # program's click handler.
    app = program_within(30)
    if app is None:
        return 1
    clickable = (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_RADIO_BUTTON, pyatspi.ROLE_CHECK_BOX)
    for node in walk(app):
        if node.name == name and node.getRole() in clickable:
            if not showing(node):
                print(name + " is not on the screen", file=sys.stderr)
                return 1
            box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            x, y = box.x + min(8, box.width // 2), box.y + box.height // 2
            subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], check=True)
            return 0
    print("no control named " + name, file=sys.stderr)
    return 1


LISTS = (pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TREE, pyatspi.ROLE_LIST,
         pyatspi.ROLE_LIST_BOX)


def seen(node, depth=0):
    # What is on the screen: the showing nodes, and of a list its column titles, not its cells.
    if node is None or depth > 14 or not showing(node):
        return
    yield node
    if node.getRole() in LISTS:
        try:
            table = node.queryTable()
            for c in range(table.nColumns):
                header = table.getColumnHeader(c)
                if header is not None and header.name:
                    yield header
        except NotImplementedError:
            pass
        return
    for i in range(node.childCount):
        yield from seen(node.getChildAtIndex(i), depth + 1)


def print_texts():
    app = program()
    if app is None:
        return 1
    for i in range(app.childCount):
        for node in seen(app.getChildAtIndex(i)):
            texts = [node.name]
            if node.getRole() == pyatspi.ROLE_LABEL:
                try:
                    texts.append(node.queryText().getText(0, -1))
                except NotImplementedError:
                    pass
            for text in texts:
                if text and text.strip():
                    print(text.replace("\n", " "))
    return 0


def print_cells(title):
    win = window(title)
    if win is None:
        return 1
    for node in walk(win):
        if node.getRole() not in LISTS or not showing(node):
            continue
        try:
            table = node.queryTable()
        except NotImplementedError:
            continue
        for row in range(min(table.nRows, 200)):
            cells = [table.getAccessibleAt(row, c) for c in range(table.nColumns)]
            print("\t".join(cell.name if cell is not None else "" for cell in cells))
    return 0


def message_boxes(app):
    found = []
    for top in windows(app, (pyatspi.ROLE_DIALOG, pyatspi.ROLE_ALERT)):
        nodes = list(walk(top))
        ok = [n for n in nodes if n.getRole() == pyatspi.ROLE_PUSH_BUTTON and n.name in OK_NAMES]
        if ok:
            text = " ".join(n.name for n in nodes if n.getRole() == pyatspi.ROLE_LABEL and n.name)
            found.append((text, ok[0]))
    return found


def answer_boxes(quiet_seconds):
    app = program_within(30)
    if app is None:
        return 1
    quiet_since = time.time()
    while time.time() - quiet_since < quiet_seconds:
        found = message_boxes(app)
        for text, ok in found:
            print(text.replace("\n", " "), flush=True)
            ok.queryAction().doAction(0)
            time.sleep(0.3)
        if found:
            quiet_since = time.time()
        time.sleep(0.2)
    return 0


def main(args):
    command = args[0]
    if command == "wait":
        return 0 if program_within(30) is not None else 1
    if command == "plan":
        return print_plan()
    if command == "notes":
        return print_plan(with_notes=True)
    if command == "click":
        return click(args[1])
    if command == "rowclick":
        return double_click_row(args[1], int(args[2]))
    if command == "boxes":
        return answer_boxes(float(args[1]))
    if command == "texts":
        return print_texts()
    if command == "shown":
        return 0 if window(args[1]) is not None else 1
    if command == "cells":
        return print_cells(args[1])
    if command == "names":
        win = window(args[1])
        if win is None:
            return 1
        for node in walk(win):
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
