#!/usr/bin/env python3
"""Over the real accessibility bus: find the window's controls by role and name, type a rider's
name, press START through its action and read the new row back from the protocol table."""
import sys
import time

import pyatspi

DEADLINE = time.monotonic() + 60


def wait_for(what, probe, step=0.2):
    while time.monotonic() < DEADLINE:
        found = probe()
        if found:
            return found
        time.sleep(step)
    sys.exit(f"timed out waiting for {what}")


def application(name):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.name == name:
            return app
    return None


def find(node, role, name):
    """First descendant with this role and name, breadth first."""
    queue = [node]
    while queue:
        current = queue.pop(0)
        try:
            if current.getRole() == role and current.name == name:
                return current
            queue.extend(child for child in current if child is not None)
        except Exception:  # a control that went away while we walked
            continue
    return None


def press(control):
    action = control.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    if "Press" not in names:
        sys.exit(f"{control.name}: no Press action, only {names}")
    action.doAction(names.index("Press"))


def main():
    app = wait_for("the program on the bus", lambda: application("Veltrano"))
    name_field = wait_for("the name field", lambda: find(app, pyatspi.ROLE_TEXT, "Name:"))
    start = wait_for("START", lambda: find(app, pyatspi.ROLE_PUSH_BUTTON, "START"))
    protocol = wait_for("the protocol table", lambda: find(app, pyatspi.ROLE_TABLE, "Protokoll"))
    table = protocol.queryTable()
    if table.nRows != 1:
        sys.exit(f"an idle protocol has one entry row, not {table.nRows}")
    headers = [table.getColumnDescription(c) for c in range(table.nColumns)]
    if headers[:4] != ["Platz", "Nr.", "Name", "Kat"] or len(headers) != 12:
        sys.exit(f"unexpected column headers {headers}")

    name_field.queryEditableText().setTextContents("Anna Köhler")
    wait_for("the typed name", lambda: name_field.queryText().getText(0, -1) == "Anna Köhler")
    press(start)

    name_column = headers.index("Name")
    wait_for("the rider's row", lambda: table.nRows == 2
             and table.getAccessibleAt(0, name_column).name == "Anna Köhler")
    place = table.getAccessibleAt(0, 0).name
    if place != "-":
        sys.exit(f"a rider on course has place '-', not '{place}'")
    print("ok: START through the bus made row 1 for", table.getAccessibleAt(0, name_column).name)


if __name__ == "__main__":
    main()
