#!/usr/bin/python3
"""Prints the program's plan list as a screen reader sees it: one line per row, cells separated
by tabs. Exits 1 while the program or its list cannot be found on the accessibility bus."""
import sys

import pyatspi


def find_list(node, depth=0):
    if node is None or depth > 6:
        return None
    if node.getRole() == pyatspi.ROLE_TABLE and node.name == "今日作息":
        return node
    for i in range(node.childCount):
        found = find_list(node.getChildAtIndex(i), depth + 1)
        if found is not None:
            return found
    return None


def main():
    for app in pyatspi.Registry.getDesktop(0):
        if app is None or app.name != "halvix":
            continue
        plan = find_list(app)
        if plan is None:
            continue
        table = plan.queryTable()
        for row in range(table.nRows):
            print("\t".join(table.getAccessibleAt(row, c).name for c in range(table.nColumns)))
        return 0
    return 1


if __name__ == "__main__":
    try:
        sys.exit(main())
    except Exception as error:  # the bus or the program is not ready yet
        print(error, file=sys.stderr)
        sys.exit(1)
