#!/usr/bin/env python3
"""Reads one window of the running program through the desktop's accessibility interface (AT-SPI), as a screen
reader does, and fails on any control a person can operate that has no name.

    atspi_names.py APPLICATION TITLE_REGEX [SECONDS]

Waits up to SECONDS (20) for a shown window of APPLICATION whose title matches TITLE_REGEX. Exit status 0 when
every operable control is named, 1 when one is not, 2 when the window never appears.
"""
import re
import sys
import time

import pyatspi

# Roles a person operates, also where the control does not take the focus.
OPERABLE_ROLES = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_RADIO_BUTTON,
    pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_PASSWORD_TEXT,
    pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_SLIDER, pyatspi.ROLE_LIST, pyatspi.ROLE_LIST_BOX,
    pyatspi.ROLE_PAGE_TAB, pyatspi.ROLE_LINK, pyatspi.ROLE_MENU_ITEM,
}


def find_window(application, title):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is None or app.name != application:
            continue
        for window in app:
            if window is None:
                continue
            states = window.getState()
            if re.search(title, window.name or "") and states.contains(pyatspi.STATE_SHOWING):
                return window
    return None


def walk(node, path, checked, unnamed):
    for child in node:
        if child is None:
            continue
        states = child.getState()
        if not states.contains(pyatspi.STATE_VISIBLE):
            continue
        role = child.getRole()
        here = f"{path} > {child.getRoleName()}"
        if states.contains(pyatspi.STATE_FOCUSABLE) or role in OPERABLE_ROLES:
            # A list's items and a combo box's inner list are named by their texts; the list itself is checked.
            checked.append(here)
            if not (child.name or "").strip():
                unnamed.append(here)
        if role not in (pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_LIST, pyatspi.ROLE_LIST_BOX):
            walk(child, here, checked, unnamed)


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    application, title = sys.argv[1], sys.argv[2]
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 20.0
    deadline = time.monotonic() + seconds
    window = None
    while window is None and time.monotonic() < deadline:
        window = find_window(application, title)
        if window is None:
            time.sleep(0.2)
    if window is None:
        print(f"no window of {application} titled like '{title}'", file=sys.stderr)
        return 2
    # The window's contents are read once they are all there.
    time.sleep(0.3)
    checked, unnamed = [], []
    walk(window, window.name, checked, unnamed)
    for control in unnamed:
        print(f"no name: {control}", file=sys.stderr)
    print(f"{window.name}: {len(checked)} operable controls, {len(unnamed)} without a name")
    if not checked:
        print("no operable control found: the window's contents were not read", file=sys.stderr)
        return 1
    return 1 if unnamed else 0


if __name__ == "__main__":
    sys.exit(main())
