#!/usr/bin/python3
"""Reads a running program's windows through the desktop's accessibility interface (AT-SPI), as
a screen reader does, for tests/e2e/accessibility.sh.

  accessibility_tree.py PID TITLE [--role ROLE] [--description TEXT] [--tabs NAME...]
      Prints the window's controls as a table (path, role, name, description, value) and fails
      on a focusable or informative control without a name, or on two siblings with the same
      name (a label and the control it names excepted). --role and --description check the
      window itself. --tabs presses Tab (xdotool, on the focused window) until the focus comes
      back, and fails unless the names met, from the focused control on, are exactly NAME...
  accessibility_tree.py PID TITLE --focused
      Prints the name of the window's focused control.

PID picks the application; TITLE the window by its accessible name. Exit status 1 on a failed
check, 2 when the program or the window is not found in time.
"""

import argparse
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402 (the version must be chosen first)

DEADLINE_SECONDS = 20
POLL_SECONDS = 0.05

# Roles of controls a person acts on or reads; containers and separators need no name (nor do
# frames inside a window, which Qt reports for plain panels). The window itself needs one.
INFORMATIVE = {
    Atspi.Role.PUSH_BUTTON, Atspi.Role.TOGGLE_BUTTON, Atspi.Role.CHECK_BOX,
    Atspi.Role.RADIO_BUTTON, Atspi.Role.TEXT, Atspi.Role.PASSWORD_TEXT, Atspi.Role.ENTRY,
    Atspi.Role.LABEL, Atspi.Role.STATIC, Atspi.Role.IMAGE, Atspi.Role.ICON,
    Atspi.Role.PROGRESS_BAR, Atspi.Role.LINK, Atspi.Role.MENU_ITEM, Atspi.Role.CHECK_MENU_ITEM,
    Atspi.Role.RADIO_MENU_ITEM, Atspi.Role.MENU, Atspi.Role.SLIDER, Atspi.Role.SPIN_BUTTON,
    Atspi.Role.COMBO_BOX, Atspi.Role.DIALOG, Atspi.Role.ALERT,
}


def fail(message, status=1):
    print("accessibility: " + message, file=sys.stderr)
    sys.exit(status)


def wait_for(what, find):
    deadline = time.monotonic() + DEADLINE_SECONDS
    while True:
        found = find()
        if found is not None:
            return found
        if time.monotonic() > deadline:
            fail(what + " not found within %d s" % DEADLINE_SECONDS, 2)
        time.sleep(POLL_SECONDS)


def children(node):
    return [node.get_child_at_index(i) for i in range(node.get_child_count())]


def application(pid):
    def find():
        for app in children(Atspi.get_desktop(0)):
            if app is not None and app.get_process_id() == pid:
                # Every read asks the program, so states such as the focus are never stale.
                app.set_cache_mask(Atspi.Cache.NONE)
                return app
        return None
    return wait_for("no application of process %d" % pid, find)


def showing(node):
    return node.get_state_set().contains(Atspi.StateType.SHOWING)


def window(app, title):
    def find():
        for candidate in children(app):
            if candidate.get_name() == title and showing(candidate):
                return candidate
        return None
    return wait_for("no window '%s'" % title, find)


def spoken(name):
    """'Page Count:' on a label and 'Page Count' on its field say the same to a listener."""
    return name.strip().rstrip(":").strip().casefold()


def labels(label, control):
    for relation in control.get_relation_set():
        if relation.get_relation_type() == Atspi.RelationType.LABELLED_BY:
            for i in range(relation.get_n_targets()):
                if relation.get_target(i) == label:
                    return True
    return False


def value_of(node):
    if "Value" not in node.get_interfaces():
        return ""
    return "%g of %g..%g" % (node.get_current_value(), node.get_minimum_value(),
                             node.get_maximum_value())


def check_tree(node, path, rows, problems):
    role = node.get_role()
    name = node.get_name() or ""
    focusable = node.get_state_set().contains(Atspi.StateType.FOCUSABLE)
    here = path + [name or "(%s)" % node.get_role_name()]
    if focusable or role in INFORMATIVE or not path:
        rows.append((" > ".join(here[:-1]), node.get_role_name(), name,
                     node.get_description() or "", value_of(node)))
        if not name.strip():
            problems.append("%s without a name at %s" % (node.get_role_name(), " > ".join(here)))
    kids = children(node)
    for i, child in enumerate(kids):
        check_tree(child, here, rows, problems)
        child_name = child.get_name() or ""
        for earlier in kids[:i]:
            if (child_name.strip() and spoken(child_name) == spoken(earlier.get_name() or "")
                    and not labels(child, earlier) and not labels(earlier, child)):
                problems.append("two controls called '%s' (%s, %s) in %s" % (
                    child_name, earlier.get_role_name(), child.get_role_name(),
                    " > ".join(here)))


def focused(node):
    if node.get_state_set().contains(Atspi.StateType.FOCUSED):
        return node
    for child in children(node):
        found = focused(child)
        if found is not None:
            return found
    return None


def focused_name(top):
    node = wait_for("no focused control", lambda: focused(top))
    return node.get_name() or "(%s without a name)" % node.get_role_name()


def press_tab():
    subprocess.run(["xdotool", "key", "--delay", "20", "Tab"], check=True, timeout=10)


def walk_tabs(top):
    """The names met by Tab from the focused control until the focus comes back to it."""
    start = focused(top)
    if start is None:
        fail("no control has the focus before the first Tab")
    names = [focused_name(top)]
    current = start
    for _ in range(40):
        press_tab()
        # Within the time a key takes to arrive, even on a busy machine.
        deadline = time.monotonic() + 3
        while True:
            now = focused(top)
            if now is not None and now != current:
                break
            if time.monotonic() > deadline:
                if current == start:  # the window's only stop
                    return names
                fail("Tab did not move the focus away from '%s'" % names[-1])
            time.sleep(POLL_SECONDS)
        if now == start:
            return names
        names.append(now.get_name() or "(%s without a name)" % now.get_role_name())
        current = now
    fail("Tab never came back to '%s': %s" % (names[0], names))
    return names


def print_table(title, top, rows):
    print("Window '%s' (%s, description %r)" % (title, top.get_role_name(),
                                                 top.get_description() or ""))
    print("| Inside | Role | Name | Description | Value |")
    print("|---|---|---|---|---|")
    for row in rows:
        print("| " + " | ".join(cell.replace("|", "/").replace("\n", " ") for cell in row) + " |")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("pid", type=int)
    parser.add_argument("title")
    parser.add_argument("--role")
    parser.add_argument("--description")
    parser.add_argument("--tabs", nargs="+")
    parser.add_argument("--focused", action="store_true")
    arguments = parser.parse_args()

    top = window(application(arguments.pid), arguments.title)
    if arguments.focused:
        print(focused_name(top))
        return

    rows, problems = [], []
    check_tree(top, [], rows, problems)
    print_table(arguments.title, top, rows)
    if arguments.role is not None and top.get_role_name() != arguments.role:
        problems.append("the window is a %s, not a %s" % (top.get_role_name(), arguments.role))
    if arguments.description is not None and top.get_description() != arguments.description:
        problems.append("the window's description is %r, not %r" % (top.get_description(),
                                                                     arguments.description))
    if arguments.tabs is not None:
        walked = walk_tabs(top)
        print("Tab order: " + " -> ".join(walked))
        if walked != arguments.tabs:
            problems.append("Tab walks %s instead of %s" % (walked, arguments.tabs))
    if problems:
        fail("'%s':\n  " % arguments.title + "\n  ".join(problems))


if __name__ == "__main__":
    main()
