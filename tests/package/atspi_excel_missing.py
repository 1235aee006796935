#!/usr/bin/env python3
"""Over the real accessibility bus, in the installed program without its spreadsheet module:
START one rider, press the Excel button and read the box that names the package to install
(VELTRANO_MODULE_PACKAGE)."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "a11y"))
import pyatspi  # noqa: E402
from atspi_race import application, find, press, wait_for  # noqa: E402


def texts(node):
    """Every name and description below node."""
    found, queue = [], [node]
    while queue:
        current = queue.pop(0)
        try:
            found += [current.name or "", current.description or ""]
            queue.extend(child for child in current if child is not None)
        except Exception:  # a control that went away while we walked
            continue
    return found


def main():
    package = os.environ["VELTRANO_MODULE_PACKAGE"]
    expected = (f"Für die Übertragung in eine Tabelle fehlt das Paket {package}.\n"
                f"Installieren mit: sudo apt install {package}")
    app = wait_for("the program on the bus", lambda: application("Veltrano"))
    name_field = wait_for("the name field", lambda: find(app, pyatspi.ROLE_TEXT, "Name:"))
    start = wait_for("START", lambda: find(app, pyatspi.ROLE_PUSH_BUTTON, "START"))
    protocol = wait_for("the protocol table", lambda: find(app, pyatspi.ROLE_TABLE, "Protokoll"))
    name_field.queryEditableText().setTextContents("Anna Köhler")
    press(start)
    wait_for("the rider's row", lambda: protocol.queryTable().nRows == 2)

    excel = wait_for("the Excel button", lambda: find(app, pyatspi.ROLE_PUSH_BUTTON, "Datei in MS Excel"))
    wait_for("the Excel button enabled", lambda: excel.getState().contains(pyatspi.STATE_ENABLED))
    press(excel)
    wait_for("the box naming the package", lambda: expected in texts(app))
    print(f"ok: without the module the Excel button names {package}")


if __name__ == "__main__":
    main()
