#!/usr/bin/python3
# The texts of an application's labels as a screen reader reads them over
# AT-SPI, one a line with newlines as \n.
#   atspi_labels.py APPLICATION_NAME
import sys
import time

import pyatspi


def main():
    deadline = time.time() + 15
    while time.time() < deadline:
        for application in pyatspi.Registry.getDesktop(0):
            if application is not None and application.name == sys.argv[1]:
                stack = [application]
                while stack:
                    node = stack.pop()
                    role = node.getRoleName()
                    if role == "label" and node.getState().contains(pyatspi.STATE_SHOWING):
                        print(node.name.replace("\n", "\\n"))
                    if role != "table":
                        stack.extend(c for c in (node.getChildAtIndex(i) for i in range(node.childCount)) if c)
                return 0
        time.sleep(0.2)
    print(f"no application {sys.argv[1]} on the accessibility bus", file=sys.stderr)
    return 1


sys.exit(main())
