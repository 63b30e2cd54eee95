#!/usr/bin/python3
"""Reads the installer's accessibility tree through AT-SPI, as a screen reader does, and waits
(up to 60 s) for one state of it:
  atspi_tree.py downloading PRODUCT       the application and its frame named after PRODUCT's
                                          installer, the status line and the detail line named
                                          by their texts, a plain progress bar
  atspi_tree.py alert TITLE BUTTON        an alert named TITLE with a text and the button
                                          BUTTON, which is then pressed through its action
Status 0 when the state was seen; otherwise 1, with what was missing and the tree."""
import re
import sys
import time

import pyatspi


def walk(node, depth=0):
    yield node, depth
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


def actions(node):
    try:
        return node.queryAction()
    except NotImplementedError:
        return None


def installers():
    return [app for app in pyatspi.Registry.getDesktop(0)
            if app is not None and app.name.endswith("Installer")]


def downloading(product):
    title = product + " Installer"
    for app in installers():
        nodes = [n for n, _ in walk(app)]
        named = {(n.getRoleName(), n.name) for n in nodes}
        bars = [n for n in nodes if n.getRole() == pyatspi.ROLE_PROGRESS_BAR]
        missing = [what for what, seen in [
            ("the application named " + title, app.name == title),
            ("no description of the application", app.description == ""),
            ("the frame " + title, ("frame", title) in named),
            ("the status line", ("label", "Downloading " + product + " - 2.0") in named),
            ("the detail line", any(role == "label" and re.search(r"\d.* of .*\d", name)
                                    for role, name in named)),
            ("one progress bar without actions",
             len(bars) == 1 and (actions(bars[0]) is None or actions(bars[0]).nActions == 0)),
        ] if not seen]
        if not missing:
            return None
        return missing
    return ["an installer application"]


def alert(title, button):
    for app in installers():
        for node, _ in walk(app):
            if node.getRole() not in (pyatspi.ROLE_ALERT, pyatspi.ROLE_DIALOG) or node.name != title:
                continue
            inside = [n for n, _ in walk(node)]
            texts = [n for n in inside if n.getRole() == pyatspi.ROLE_LABEL and n.name]
            buttons = [n for n in inside if n.getRole() == pyatspi.ROLE_PUSH_BUTTON
                       and n.name == button and actions(n) is not None]
            if not texts or not buttons:
                return ["the alert's text and its button " + button]
            action = actions(buttons[0])
            action.doAction(0)
            return None
    return ["the alert " + title]


def tree():
    for app in installers():
        for node, depth in walk(app):
            action = actions(node)
            names = [action.getName(i) for i in range(action.nActions)] if action else []
            print("  " * depth + "%s %r %r %s" % (node.getRoleName(), node.name, node.description,
                                                 " ".join(names)), file=sys.stderr)


def main():
    check = {"downloading": downloading, "alert": alert}[sys.argv[1]]
    missing, seen = None, []
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        try:
            missing = check(*sys.argv[2:])
        except Exception as error:  # an object gone while it was read: read again
            missing = [repr(error)]
        if missing is None:
            print("ok: " + " ".join(sys.argv[1:]))
            return 0
        if missing not in seen:
            seen.append(missing)
        time.sleep(0.1)
    for missing in seen:
        print("missing: " + "; ".join(missing), file=sys.stderr)
    tree()
    return 1


sys.exit(main())
