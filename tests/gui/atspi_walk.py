"""The window as a screen reader meets it, through the AT-SPI bus (run by atspi_walk.sh).

Starts the real window (test_gui as its accessibility child) under X with accessibility on, shows
each of its windows in turn and walks what the bus offers: every focusable control a reader can
land on must have a name it can say (not empty, not a class name, and for a control with a value
not only that value unless a label names it). Then it selects a library line through the list's
Selection interface and runs "Delete Selected Patch" through its menu item's action, and checks
that exactly that line went. Walking the menu bar with the arrow keys must not make a reader repeat
the window or the list under the menus.
"""

import os
import re
import subprocess
import sys
import tempfile
import time

import pyatspi
from gi.repository import GLib

# What each step shows and what must be walked there at least, so that the walk cannot pass by
# seeing nothing: the roles among the focusable controls of the window(s) the step opened (for the
# first three steps, the main window) and their least number.
WINDOWS = [
    ("main", {"list": 2, "combo box": 11, "check box": 6, "text": 2}, 22),
    ("find", {"text": 3}, 23),
    ("rename", {"text": 3}, 23),
    ("compare", {"push button": 5}, 5),
    ("collection", {"table": 1, "tree": 1, "text": 1, "push button": 3}, 6),
    ("reconcile", {"table": 1, "combo box": 2, "push button": 5}, 8),
    ("versions", {"table": 1, "push button": 2}, 3),
    ("message", {"push button": 1}, 1),
    ("question", {"push button": 2}, 2),
    ("help", {"text": 1}, 1),
    ("splash", {}, 0),
    ("shows", {"list": 2, "text": 2}, 4),
    ("stage", {"label": 1}, 1),
]
# What a reader announces as a window of its own (a plain widget would be a "filler" it passes over).
WINDOW_ROLES = ("frame", "window", "dialog", "alert")
OWN_WINDOW = {"main": False, "find": False, "rename": False}
CLASS_NAME = re.compile(r"^Q[A-Z][A-Za-z]+$|^(lst|cbx|chk|txt|opt|cmd|btn|lbl)[A-Z]\w*$")
# Only what this program sets itself is judged; Qt's own parts of a dialog come with Qt's names.
failures = []


def fail(text):
    failures.append(text)
    print("FAIL: " + text, flush=True)


class Child:
    def __init__(self, program, folder):
        env = dict(os.environ)
        env.update(QUILLBOX_ACCESSIBILITY_CHILD=folder, QT_QPA_PLATFORM="xcb",
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1",
                   XDG_DATA_HOME=os.path.join(folder, "data"),
                   XDG_CACHE_HOME=os.path.join(folder, "cache-home"))
        env.pop("QT_SCALE_FACTOR", None)
        self.process = subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        env=env, text=True, bufsize=1)
        self.expect("ready")

    def expect(self, word):
        line = self.process.stdout.readline().strip()
        if not line.startswith(word):
            raise SystemExit("the window said %r, not %r" % (line, word))
        return line

    def ask(self, command):
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()
        return self.process.stdout.readline().strip()

    def close(self):
        self.process.stdin.close()
        try:
            self.process.wait(20)
        except subprocess.TimeoutExpired:
            self.process.kill()


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for _ in range(100):
        for app in desktop:
            if app is not None and app.name == "Quillbox":
                return app
        time.sleep(0.1)
    raise SystemExit("the window never appeared on the accessibility bus")


def states(node):
    return node.getState()


def label_names(node):
    names = []
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            for i in range(relation.getNTargets()):
                names.append(relation.getTarget(i).name)
    return [n for n in names if n and n.strip()]


def value_of(node):
    """What a reader says as the control's value: for a drop-down, Qt on Linux gives the chosen entry
    as its name, so the name is its value when it is one of its entries."""
    role = node.getRoleName()
    if role == "combo box":
        entries = set()
        for child in node:
            for item in child or []:
                if item is not None and item.name:
                    entries.add(item.name.strip())
        name = (node.name or "").strip()
        return name if name in entries else None
    try:
        text = node.queryText()
        return text.getText(0, -1)
    except NotImplementedError:
        return None


def walk(node, found, where, depth=0):
    if node is None or depth > 40:
        return
    state = states(node)
    if not state.contains(pyatspi.STATE_SHOWING) and node.getRoleName() not in ("frame", "dialog"):
        return
    role = node.getRoleName()
    if state.contains(pyatspi.STATE_FOCUSABLE) and role not in ("menu item", "menu", "list item",
                                                                "table cell", "menu bar", "table column header"):
        found.append(node)
        name = (node.name or "").strip()
        labels = label_names(node)
        said = name or (labels[0] if labels else "")
        if not said:
            fail("%s: a %s without a name" % (where, role))
        elif CLASS_NAME.match(said):
            fail("%s: a %s named only by its class or object name %r" % (where, role, said))
        elif not labels and role in ("combo box", "spin button", "slider"):
            value = value_of(node)
            if value is not None and value.strip() == name:
                fail("%s: a %s announced only by its value %r (no label names it)" % (where, role, name))
    for child in node:
        walk(child, found, where, depth + 1)


def windows(app):
    return [w for w in app if w is not None and states(w).contains(pyatspi.STATE_SHOWING)]


def check_window(app, command, roles, minimum, main_name):
    shown = windows(app)
    if not shown:
        return fail("%s: no window showing" % command)
    opened = [w for w in shown if w.name != main_name] if OWN_WINDOW.get(command, True) else shown
    if not opened:
        return fail("%s: the window did not appear on the accessibility bus" % command)
    found = []
    for window in opened:
        if window.getRoleName() not in WINDOW_ROLES:
            fail("%s: the window %r has the role %r, not a window's" % (command, window.name, window.getRoleName()))
        walk(window, found, "%s (%s)" % (command, window.name))
    count = {}
    for node in found:
        count[node.getRoleName()] = count.get(node.getRoleName(), 0) + 1
    print("%s: %d focusable controls in %s %s" % (command, len(found), [w.name for w in opened], count),
          flush=True)
    if len(found) < minimum:
        fail("%s: only %d focusable controls found, expected at least %d" % (command, len(found), minimum))
    for role, least in roles.items():
        if count.get(role, 0) < least:
            fail("%s: %d %s found, expected at least %d" % (command, count.get(role, 0), role, least))


def find(node, test, depth=0):
    if node is None or depth > 40:
        return None
    if test(node):
        return node
    for child in node:
        hit = find(child, test, depth + 1)
        if hit is not None:
            return hit
    return None


def check_rename_editor(app):
    focus = None
    for window in windows(app):
        focus = focus or find(window, lambda n: states(n).contains(pyatspi.STATE_FOCUSED)
                              and n.getRoleName() == "text")
    if focus is None:
        fail("rename: the name editor is not on the accessibility bus")
    elif not (focus.name or "").startswith("New name for "):
        fail("rename: the name editor is named %r, not after the patch it renames" % focus.name)


# Typing into a find field keeps the focus there: no "focused" event may reach the bus for the
# lines or cells refilled under it (a reader would say each of them).
TYPED = {"find": ("txtFindLib", "Find in the library"),
         "collection": ("txtCollectionFind", "Find in the collection")}
focus_events = []


def on_focus(event):
    try:
        source = "%s %r" % (event.source.getRoleName(), event.source.name)
    except Exception:  # an object already gone: exactly the noise looked for
        source = "a gone object"
    focus_events.append("%s %s" % ("gained" if event.detail1 else "lost", source))


def pump(seconds):
    context = GLib.MainContext.default()
    until = time.time() + seconds
    while time.time() < until:
        while context.iteration(False):
            pass
        time.sleep(0.02)


def check_typing(app, child, command):
    field, name = TYPED[command]
    if child.ask("focus " + field) != "done":
        return fail("%s: no field %s to type into" % (command, field))
    pump(0.5)
    del focus_events[:]
    said = child.ask("type %s \bbravo br" % field)  # 9 keys, each narrowing what is shown
    pump(1.0)
    if said != "done" or focus_events:
        fail("%s: typing 9 keys into %s sent %d focus events: %s"
             % (command, field, len(focus_events), "; ".join(focus_events)))
    typed = None
    for window in windows(app):
        typed = typed or find(window, lambda n: n.getRoleName() == "text"
                              and n.name == name)
    said = (typed.description or "") if typed is not None else ""
    if not re.match(r"^\d+ (lines?|patch|patches) found$", said):
        fail("%s: after typing, the field says %r, not how much was found" % (command, said))


# Walking the menu bar: each Right arrow opens the next menu, and a reader must hear that menu, not
# the window's title again (window:activate) nor the list under the menus (a focus event).
window_events = []


def on_window(event):
    try:
        window_events.append(event.source.getRoleName())
    except Exception:
        window_events.append(None)


def check_menu_sweep(child):
    arrows = 4
    pyatspi.Registry.registerEventListener(on_window, "window:activate")
    pump(0.5)
    del window_events[:]
    del focus_events[:]
    said = child.ask("menus %d" % arrows)
    pump(1.0)
    pyatspi.Registry.deregisterEventListener(on_window, "window:activate")
    activations = window_events.count("frame")  # the main window; the others are dialogs
    lists = [e for e in focus_events if e.startswith("gained list")]
    # At most the opening one of each: the bar taking the keys, and the list when the menus close.
    if said != "done" or activations > 1 or len(lists) > 1:
        fail("menus: %d Right arrows across the menu bar announced the window %d times and the list "
             "%d times" % (arrows, activations, len(lists)))
    else:
        print("menus: %d Right arrows across the menu bar, the window announced %d times, the list %d"
              % (arrows, activations, len(lists)), flush=True)


# The stage view: each Right key brings the next cue, and a reader must be told it through the
# focused line's name (a reader speaks a change of the focused object's name).
name_events = []


def on_name(event):
    try:
        # Qt's event carries the object, not the name: read it while it is the name just set.
        focused = states(event.source).contains(pyatspi.STATE_FOCUSED)
        name_events.append((event.source.getRoleName(), event.source.name, focused))
    except Exception:
        name_events.append((None, None, False))


def check_stage_announcement(child):
    pyatspi.Registry.registerEventListener(on_name, "object:property-change:accessible-name")
    pump(0.5)
    del name_events[:]
    said = []
    for _ in range(2):  # Intro -> Verse -> the next song, which has no cues
        said.append(child.ask("stagekey 1"))
        pump(1.0)
    pyatspi.Registry.deregisterEventListener(on_name, "object:property-change:accessible-name")
    heard = [name for role, name, focused in name_events if focused and name]
    expected = ["Verse: CRUNCH, Slot 2", "Ballad. No cues"]
    if said != ["done", "done"] or heard != expected:
        fail("stage: two Right keys announced %r, expected %r (all name changes: %r)"
             % (heard, expected, name_events))
    else:
        print("stage: two Right keys announced %r" % heard, flush=True)


def select_and_delete(app, child):
    main = [w for w in windows(app) if w.getRoleName() == "frame"][0]
    library = find(main, lambda n: n.getRoleName() == "list" and n.name == "Library")
    if library is None:
        return fail("selection: no list named Library")
    lines = [library.getChildAtIndex(i).name for i in range(library.childCount)]
    target = [i for i, line in enumerate(lines) if "CHARLY" in line]
    if not target:
        return fail("selection: no CHARLY among %r" % lines)
    try:
        selection = library.querySelection()
    except NotImplementedError:
        return fail("selection: the Library list offers no Selection interface")
    selection.clearSelection()
    if not selection.selectChild(target[0]):
        return fail("selection: SelectChild refused")
    if selection.nSelectedChildren != 1 or "CHARLY" not in selection.getSelectedChild(0).name:
        return fail("selection: the selection is not CHARLY")
    item = find(main, lambda n: n.getRoleName() == "menu item"
                and n.name.replace("&", "").startswith("Delete Selected Patch"))
    if item is None:
        return fail("selection: no menu item Delete Selected Patch")
    action = item.queryAction()
    action.doAction(0)
    time.sleep(0.5)
    before = child.ask("entries").split("|")
    after_names = [line.split(":", 1)[-1].split(",")[0].strip() for line in before]
    expected = [line.split(":", 1)[-1].split(",")[0].strip() for line in lines if "CHARLY" not in line]
    if after_names != expected:
        fail("selection: after Delete Selected Patch the library is %r, expected %r" % (after_names, expected))
    else:
        print("selection: CHARLY selected through the Selection interface and deleted", flush=True)


def main():
    program = sys.argv[1]
    with tempfile.TemporaryDirectory() as folder:
        launcher = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        try:
            time.sleep(1)
            child = Child(program, folder)
            try:
                app = application()
                pyatspi.Registry.registerEventListener(on_focus, "object:state-changed:focused")
                time.sleep(1)
                main_name = windows(app)[0].name if windows(app) else None
                for command, roles, minimum in WINDOWS:
                    said = child.ask(command)
                    if said != "shown":
                        fail("%s: the window said %r" % (command, said))
                        continue
                    time.sleep(0.8)
                    check_window(app, command, roles, minimum, main_name)
                    if command == "rename":
                        check_rename_editor(app)
                    if command in TYPED:
                        check_typing(app, child, command)
                    if command == "stage":
                        check_stage_announcement(child)
                    child.ask("close")
                check_menu_sweep(child)
                select_and_delete(app, child)
            finally:
                child.close()
        finally:
            launcher.terminate()
            launcher.wait(10)
    if failures:
        print("%d accessibility faults" % len(failures))
        return 1
    print("every window walked, every control named")
    return 0


if __name__ == "__main__":
    sys.exit(main())
