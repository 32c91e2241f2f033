"""Reading the program through the desktop's accessibility bus (AT-SPI), as a
screen reader does: what the end-to-end scripts share (e2e_lib.sh puts this
folder on PYTHONPATH)."""
import sys
import time

import pyatspi as R


def nodes(acc):
    """The accessible and everything below it."""
    yield acc
    for child in acc:
        if child is not None:
            yield from nodes(child)


def of_role(acc, role):
    return [n for n in nodes(acc) if n.getRole() == role]


def programs():
    """The program's applications on the bus (one a process)."""
    return [a for a in R.Registry.getDesktop(0) if a is not None and a.name == "Knobwise"]


def window(title, app=None):
    """A window of the program titled `title`; None while there is none."""
    for a in [app] if app else programs():
        found = next((w for w in a if w is not None and w.name == title), None)
        if found:
            return found
    return None


def labels():
    """The text of every label of the program's windows."""
    return [n.name or "" for a in programs() for n in nodes(a) if n.getRole() == R.ROLE_LABEL]


def text(acc):
    return acc.queryText().getText(0, -1)


def press(acc):
    action = acc.queryAction()
    action.doAction([action.getName(i) for i in range(action.nActions)].index("Press"))


def wait_for(find, what):
    """What find() gives once it gives something (within about twenty
    seconds); otherwise the script fails, saying `what`."""
    for _ in range(200):
        try:
            found = find()
            if found:
                return found
        except Exception:  # the bus answers only once the program is up
            pass
        time.sleep(0.1)
    sys.exit(f"FAIL: {what}")


def unnamed(win, images=False):
    """The focusable controls of a window (and, with `images`, its images)
    that have no name, as "unnamed ROLE in PARENT"."""
    return [f"unnamed {n.getRoleName()} in {n.parent.name!r}" for n in nodes(win)
            if not n.name and (n.getState().contains(R.STATE_FOCUSABLE) or
                               (images and n.getRole() == R.ROLE_IMAGE))]
