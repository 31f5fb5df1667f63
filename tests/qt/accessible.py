#!/usr/bin/python3
# The window as a screen reader reads it over AT-SPI: every control that
# takes input has a name, and the table is named, with its column headers
# and the rows' cells as text; and a new answer is heard, as the state
# line's name changes to it.
#   accessible.py PID   (a process whose row the window shows)
# Needs /usr/bin/python3 with pyatspi, on the accessibility bus of a
# session where fencat-window runs with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1.
import sys
import time

import pyatspi
from gi.repository import GLib

CONTROLS = {"push button", "toggle button", "check box", "text", "entry", "combo box", "menu item", "table"}
CONTAINERS_TO_SKIP = {"table"}  # its cells are read below, not walked one by one


def find_application(name, seconds=20):
    deadline = time.time() + seconds
    while time.time() < deadline:
        for application in pyatspi.Registry.getDesktop(0):
            if application is not None and application.name == name:
                return application
        time.sleep(0.2)
    return None


def nodes(root):
    stack = [root]
    while stack:
        node = stack.pop()
        yield node
        if node.getRoleName() in CONTAINERS_TO_SKIP:
            continue
        stack.extend(child for child in (node.getChildAtIndex(i) for i in range(node.childCount)) if child)


def find(application, role, name):
    return next((n for n in nodes(application) if n.getRoleName() == role and n.name == name), None)


def hears_the_answer(application):
    """Types a missing file's path, presses Search, and listens for the answer."""
    missing = "/tolvar-fencat-not-here/answer.txt"
    answer = f"{missing} does not exist."
    field = find(application, "text", "File or folder to search")
    button = find(application, "push button", "Search")
    if field is None or button is None:
        print(f"FAIL  no path field ({field}) or Search button ({button})")
        return 1
    heard = []

    def listen(event):
        if event.source is not None and event.source.getRoleName() == "label":
            heard.append(event.source.name)
            if event.source.name == answer:
                pyatspi.Registry.stop()

    def ask():
        field.queryEditableText().setTextContents(missing)
        button.queryAction().doAction(0)
        return False

    pyatspi.Registry.registerEventListener(listen, "object:property-change:accessible-name")
    GLib.timeout_add(500, ask)
    GLib.timeout_add_seconds(20, lambda: pyatspi.Registry.stop() or False)
    pyatspi.Registry.start()
    pyatspi.Registry.deregisterEventListener(listen, "object:property-change:accessible-name")
    if answer not in heard:
        print(f"FAIL  the answer was not announced; heard {heard}")
        return 1
    print(f"ok    heard {heard}")
    return 0


def main():
    pid = sys.argv[1]
    application = find_application("fencat-window")
    if application is None:
        print("FAIL  no application fencat-window on the accessibility bus")
        return 1
    failures = 0
    tables = []
    for node in nodes(application):
        role = node.getRoleName()
        if role == "table":
            tables.append(node)
        # Qt keeps some controls of its own hidden (a tool bar's overflow
        # button); what is not visible is not read.
        visible = node.getState().contains(pyatspi.STATE_VISIBLE)
        if role in CONTROLS and visible and not node.name:
            print(f"FAIL  a {role} without a name, in {node.parent.getRoleName()} {node.parent.name!r}")
            failures += 1
    if len(tables) != 1 or tables[0].name != "Processes that use the files":
        print(f"FAIL  tables: {[t.name for t in tables]}")
        return 1
    table = tables[0].queryTable()
    # On a loaded machine the window may still be searching, its headers and
    # rows not yet there: read again for a while before judging.
    deadline = time.time() + 20
    while True:
        # A hidden column's header may or may not be told; every shown one is.
        cells = [table.getColumnHeader(c) for c in range(table.nColumns)]
        headers = [getattr(cell, "name", None) for cell in cells]
        headers = [name for name in headers if name not in ("Executable", "Started", "Parent")]
        pids = [getattr(table.getAccessibleAt(r, 0), "name", None) for r in range(table.nRows)]
        if (None not in headers and pid in pids) or time.time() > deadline:
            break
        time.sleep(0.2)
    if headers != ["PID", "Process", "User", "Use", "Descriptor", "Path", "Command Line", "Unit/Container"]:
        print(f"FAIL  column headers: {headers}")
        failures += 1
    if pid not in pids:
        print(f"FAIL  no row of PID {pid} among {pids}")
        failures += 1
    print(f"ok    {table.nRows} rows read; every control named" if failures == 0 else f"{failures} failures")
    failures += hears_the_answer(application)
    return 1 if failures else 0


sys.exit(main())
