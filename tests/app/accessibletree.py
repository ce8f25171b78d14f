"""Reads one window's accessible tree over the AT-SPI bus, as a screen reader
does: every object's role, name and extents, and how long each took to answer.
Roles go by their number in the Atspi.Role enumeration, which never changes;
their names do from one release of libatspi to another.

Usage: accessibletree.py TITLE
Prints a line per object, the window first:
seconds TAB role number TAB x,y,width,height TAB name (tabs and line breaks as spaces)
"""
import sys
import time

import pyatspi

WAIT_FOR_WINDOW_SECONDS = 10


def find_window(title):
    deadline = time.monotonic() + WAIT_FOR_WINDOW_SECONDS
    while time.monotonic() < deadline:
        for application in pyatspi.Registry.getDesktop(0):
            for window in application or []:
                if window is not None and window.name == title:
                    return window
        time.sleep(0.05)
    return None


def describe(accessible):
    start = time.monotonic()
    name = accessible.name
    role = int(accessible.getRole())
    box = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    seconds = time.monotonic() - start
    name = name.replace("\t", " ").replace("\n", " ").replace("\r", " ")
    print(f"{seconds:.4f}\t{role}\t{box.x},{box.y},{box.width},{box.height}\t{name}")
    for child in accessible:
        describe(child)


window = find_window(sys.argv[1])
if window is None:
    sys.exit(f"no window titled {sys.argv[1]!r} on the accessibility bus")
describe(window)
