#!/usr/bin/python3
"""The editor used the way a person uses it, on a real X server with a window manager.

Xvfb at 96 dpi with openbox, keys and clicks sent as real X input with xdotool, and what
happens read back through the accessibility bus (AT-SPI), as a screen reader reads it, and
from the image's own bytes. One scenario table, run in order on one sample image; each row
starts where the one before it ended.

    acceptance_test.py EDITOR STATS_TABLE MAKE_SAMPLE_IMAGE CATALOGUE_DIR

The X server, the session bus, the accessibility bus and the window manager are this test's
own, on a free display, with a home and runtime folder of their own; every process they start
is stopped at the end, also when a step fails or the test is interrupted.
"""

import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

TABLE_OFFSET = 0x694E954
RECORD_SIZE = 60
# Each field as a screen reader finds it, its record byte, and the catalogue that names a
# choice field's byte. On Linux Qt names a choice box after its chosen text, so those are found
# by their description.
FIELDS = [
    ("Hp", 0, None), ("Attack", 1, None), ("Defense", 2, None), ("Speed", 3, None),
    ("Sp.atk", 4, None), ("Sp.def", 5, None), ("First type", 6, "types"),
    ("Second type", 7, "types"), ("Catch Rate", 8, None),
    ("First item a wild one may hold", 12, "held-items"),
    ("Second item a wild one may hold", 14, "held-items"), ("Gender", 18, None),
    ("First ability", 24, "abilities"), ("Second ability", 25, "abilities"),
    ("Dream World ability", 26, "abilities"),
]
FIRST_RECORD = {"List 1": 0, "List 2": 547, "Alternate forms": 649}
# Client heights in pixels of the collapsed and the expanded window (7605 and 10935 twips).
COLLAPSED_HEIGHT, EXPANDED_HEIGHT = 507, 729
GENDER_HELP = ("Genderless = 255\n\n100% Female = 254\n\n50% Male 50% Female = 127\n\n"
               "100% Male  = 0")
TITLE = "Tavrel (-Ondak-) Base Stats Editor"
WAIT = 10.0  # seconds for anything to show up; a step that takes longer has failed
TOOLS = {"Xvfb": "xvfb", "openbox": "openbox", "xdotool": "xdotool", "xprop": "x11-utils",
         "xmodmap": "x11-xserver-utils",
         "dbus-daemon": "dbus-daemon", "/usr/libexec/at-spi-bus-launcher": "at-spi2-core"}


class Failure(Exception):
    pass


def wait_for(what, probe, timeout=WAIT):
    """The first true result of probe(), or a Failure naming what never came."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            result = probe()
        except Exception:  # the accessible went away while it was read: ask again
            result = None
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure(f"{what}: not seen within {timeout:.0f} s")
        time.sleep(0.05)


class Session:
    """An X server, a window manager and the two buses, all of this test's own."""

    MARKER = "STATS_ACCEPTANCE_RUN"

    def __init__(self, folder):
        self.folder = folder
        home, runtime = folder / "home", folder / "run"
        home.mkdir()
        runtime.mkdir(mode=0o700)
        self.env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LANG": "C.UTF-8",
            "HOME": str(home), "XDG_RUNTIME_DIR": str(runtime),
            # Every process of the session carries this, so that the end finds them all.
            self.MARKER: str(folder),
        }
        self.processes = []

    def start(self, *command, **options):
        options.setdefault("stdout", subprocess.DEVNULL)
        process = subprocess.Popen(command, env=self.env, stdin=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, **options)
        self.processes.append(process)
        return process

    def open(self):
        readable, writable = os.pipe()
        self.start("Xvfb", "-displayfd", str(writable), "-screen", "0", "1600x1200x24",
                   "-dpi", "96", "-nolisten", "tcp", pass_fds=[writable])
        os.close(writable)
        with os.fdopen(readable) as pipe:
            display = pipe.readline().strip()
        if not display:
            raise Failure("Xvfb did not start")
        self.env["DISPLAY"] = ":" + display
        bus = self.start("dbus-daemon", "--session", "--nofork", "--print-address=1",
                         stdout=subprocess.PIPE)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().decode().strip()
        os.environ.update(self.env)
        self.start("openbox", "--sm-disable")
        wait_for("openbox managing the screen", lambda: subprocess.run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env,
            capture_output=True, text=True).stdout.count("window id"))
        # What a screen reader does when it starts: the bus launcher comes up on demand, and
        # toolkits that see the flag expose their windows on it.
        from gi.repository import Gio, GLib
        Gio.bus_get_sync(Gio.BusType.SESSION).call_sync(
            "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
            GLib.Variant("(ssv)", ("org.a11y.Status", "IsEnabled", GLib.Variant("b", True))),
            None, Gio.DBusCallFlags.NONE, -1, None)

    def add_keys(self, characters):
        """Gives each letter beyond ASCII in `characters` a key of its own, as a keyboard layout
        with those letters does. Otherwise xdotool binds a spare key anew for every such letter
        it types, and a program that reads the key before the new binding gets another one."""
        letters = sorted({c for c in characters if ord(c) > 127})
        free = [line.split()[1] for line in subprocess.run(
            ["xmodmap", "-pke"], env=self.env, capture_output=True, text=True,
            check=True).stdout.splitlines() if len(line.split()) == 3]
        if len(free) < len(letters):
            raise Failure("the keyboard map has too few free keys for the letters typed")
        for keycode, letter in zip(free, letters):
            subprocess.run(["xmodmap", "-e", f"keycode {keycode} = U{ord(letter):04X}"],
                           env=self.env, check=True)

    def leftovers(self):
        found = []
        for entry in Path("/proc").iterdir():
            if not entry.name.isdigit() or int(entry.name) == os.getpid():
                continue
            try:
                environment = (entry / "environ").read_bytes().split(b"\0")
            except OSError:
                continue
            if f"{self.MARKER}={self.folder}".encode() in environment:
                found.append(int(entry.name))
        return found

    def close(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
        for sig in (signal.SIGTERM, signal.SIGKILL):
            for pid in self.leftovers():
                try:
                    os.kill(pid, sig)
                except ProcessLookupError:
                    pass
            deadline = time.monotonic() + 3
            while self.leftovers() and time.monotonic() < deadline:
                time.sleep(0.05)
        for process in self.processes:
            try:
                process.wait(timeout=3)
            except subprocess.TimeoutExpired:
                pass
        # The services the bus started were orphaned to this process (see main); reap them.
        while True:
            try:
                if os.waitpid(-1, os.WNOHANG) == (0, 0):
                    break
            except ChildProcessError:
                break
        if self.leftovers():
            raise Failure(f"processes left behind: {self.leftovers()}")


class Editor:
    """The running editor, seen through the accessibility bus and driven by xdotool."""

    def __init__(self, session, program, *arguments):
        import pyatspi
        self.at = pyatspi
        self.env = session.env
        self.process = session.start(program, *arguments)
        self.app = wait_for("the editor on the accessibility bus", self._find_application)
        self.window = wait_for("the editor's window", lambda: self.top_level(
            "Tavrel (-Ondak-) Base Stats Editor"))
        wait_for("the window framed by openbox", lambda: "_NET_FRAME_EXTENTS(CARDINAL)" in
                 self.x("xprop", "-name", "Tavrel (-Ondak-) Base Stats Editor",
                        "_NET_FRAME_EXTENTS"))

    def _find_application(self):
        for app in self.at.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == self.process.pid:
                return app
        return None

    def x(self, *command):
        return subprocess.run(command, env=self.env, capture_output=True, text=True,
                              check=True).stdout

    # Input, as the X server gets it from a keyboard and a mouse.
    def keys(self, *names):
        self.x("xdotool", "key", "--delay", "80", *names)

    def type(self, text):
        self.x("xdotool", "type", "--delay", "60", text)

    def click(self, accessible):
        # A window that has just appeared may still be placed by the window manager; aim once
        # the control stays where it is.
        def settled():
            first = accessible.queryComponent().getExtents(self.at.DESKTOP_COORDS)
            time.sleep(0.1)
            box = accessible.queryComponent().getExtents(self.at.DESKTOP_COORDS)
            same = (first.x, first.y, first.width, first.height) == (
                box.x, box.y, box.width, box.height)
            return box if same and box.width > 0 else None
        box = wait_for(f"{accessible.name!r} staying in place", settled)
        self.x("xdotool", "mousemove", "--sync", str(box.x + box.width // 2),
               str(box.y + box.height // 2))
        self.x("xdotool", "click", "1")

    # What a screen reader reads.
    def top_level(self, name):
        """The window called `name` while it is on screen."""
        return next((w for w in self.app if w is not None and w.name == name
                     and w.getState().contains(self.at.STATE_VISIBLE)), None)

    def has_role(self, accessible, role):
        """Whether `accessible` has `role`, such as "push button". The role itself is compared:
        its printed name changes between AT-SPI versions ("push button" became "button")."""
        return accessible.getRole() == getattr(self.at, "ROLE_" + role.upper().replace(" ", "_"))

    def control(self, role, name):
        for child in self.window:
            if self.has_role(child, role) and child.name == name:
                return child
        raise Failure(f"no {role} named {name!r} in the window")

    def text(self, name):
        box = self.control("text", name)
        return box.queryText().getText(0, -1)

    def choice(self, description):
        for child in self.window:
            if self.has_role(child, "combo box") and child.description == description:
                return child.name
        raise Failure(f"no choice box described as {description!r} in the window")

    def selected_row(self, list_name):
        rows = self.control("list", list_name).queryTable().getSelectedRows()
        return rows[0] if len(rows) == 1 else None

    def focused(self):
        """The name of the control with the keyboard focus. In a list, the focus may be on its
        selected row instead."""
        controls = list(self.window)
        for child in controls:
            if child.getState().contains(self.at.STATE_FOCUSED):
                return child.name
        for child in controls:
            if self.has_role(child, "list"):
                rows = child.queryTable().getSelectedRows()
                if rows and child[rows[0]].getState().contains(self.at.STATE_FOCUSED):
                    return child.name
        return None

    def client_height(self):
        return self.window.queryComponent().getExtents(self.at.DESKTOP_COORDS).height

    def message(self):
        """The text of the message box on screen, or None."""
        for window in self.app:
            if window is None or window == self.window:
                continue
            texts = [c.name for c in window if self.has_role(c, "label") and c.name]
            if texts:
                return texts[0].replace("\r\n", "\n")
        return None

    def answer_message(self, answer="OK"):
        for window in self.app:
            if window is None or window == self.window:
                continue
            button = self.at.findDescendant(
                window, lambda a: self.has_role(a, "push button") and a.name == answer)
            if button is not None:
                self.click(button)
        wait_for("the message box closing",
                 lambda: self.process.poll() is not None or self.message() is None)

    def title(self):
        """The title the window system shows for the active window."""
        return self.x("xdotool", "getactivewindow", "getwindowname").strip()

    def ended(self, status):
        wait_for("the editor ending", lambda: self.process.poll() is not None)
        if self.process.returncode != status:
            raise Failure(f"the editor ended with status {self.process.returncode}, not {status}")


class Run:
    """The state the scenario rows share: the editor, the image and what it should hold."""

    def __init__(self, session, editor_program, table_program, image, catalogue_dir):
        self.session, self.editor_program = session, editor_program
        self.table_program = table_program
        self.image, self.pristine = image, image.with_suffix(".pristine")
        shutil.copyfile(image, self.pristine)
        self.expected_changes = {}
        self.catalogues = {
            name: (catalogue_dir / f"{name}.txt").read_text(encoding="utf-8").split("\n")[:-1]
            for name in ("types", "held-items", "abilities", "list1", "list2")}
        self.editor = Editor(session, editor_program)

    def record_bytes(self, record):
        with open(self.image, "rb") as image:
            image.seek(TABLE_OFFSET + RECORD_SIZE * record)
            return image.read(27)

    def changes(self):
        """Every byte of the image that differs from the sample it started as."""
        changed = {}
        with open(self.image, "rb") as now, open(self.pristine, "rb") as before:
            offset = 0
            while True:
                a, b = before.read(1 << 20), now.read(1 << 20)
                if not a and not b:
                    return changed
                if a != b:
                    for i, (x, y) in enumerate(zip(a, b)):
                        if x != y:
                            changed[offset + i] = y
                    if len(a) != len(b):
                        changed["length"] = (len(a), len(b))
                offset += len(a)

    def expect_saved(self, record, field_offset, value):
        self.expected_changes[TABLE_OFFSET + RECORD_SIZE * record + field_offset] = value
        wait_for("the saved byte in the image",
                 lambda: self.record_bytes(record)[field_offset] == value)
        changes = self.changes()
        if changes != self.expected_changes:
            raise Failure(f"the image changed at {changes}, not only at {self.expected_changes}")

    def shown_fields(self):
        return [self.editor.choice(name) if catalogue else self.editor.text(name)
                for name, _, catalogue in FIELDS]

    def image_fields(self, record):
        data = self.record_bytes(record)
        return [self.catalogues[catalogue][data[offset]] if catalogue else str(data[offset])
                for _, offset, catalogue in FIELDS]

    def expect_loaded(self, list_name, row):
        record = FIRST_RECORD[list_name] + row
        wait_for(f"row {row} of {list_name} selected",
                 lambda: self.editor.selected_row(list_name) == row)
        try:
            wait_for(f"the fields showing record {record}",
                     lambda: self.shown_fields() == self.image_fields(record))
        except Failure as failure:
            raise Failure(f"{failure}: they show {self.shown_fields()}, "
                          f"the image holds {self.image_fields(record)}") from None

    def open_image(self, path=None):
        wait_for("the open dialog", lambda: self.editor.top_level("Open Rom"))
        self.editor.type(str(path or self.image))
        self.editor.keys("Return")
        wait_for("the open dialog closing", lambda: self.editor.top_level("Open Rom") is None)
        # Input sent before the window manager gives the window back its focus can land in the
        # going dialog, on any desktop; a person sees the window come back first.
        wait_for("the keyboard focus back in the window", lambda: self.editor.focused())

    def edit_hp(self, list_name, row):
        """Types a new hp for the loaded entry and returns it, once the title marks it."""
        value = (self.record_bytes(FIRST_RECORD[list_name] + row)[0] + 45) % 256
        self.editor.click(self.editor.control("text", "Hp"))
        self.editor.keys("ctrl+a")
        self.editor.type(str(value))
        wait_for("the title marking the edit", lambda: self.editor.title() == "*" + TITLE)
        return value

    def ask_on_click(self, list_name, row):
        self.editor.click(self.editor.control("list", list_name)[row])
        wait_for("the question", lambda: (self.editor.message() or "").startswith(
            "Save the changes to "))

    def expect_unchanged(self, what):
        if self.changes() != self.expected_changes:
            raise Failure(f"{what} changed the image")

    def tab_to(self, name, key="Tab"):
        for _ in range(30):  # more than the window has stops
            if self.editor.focused() == name:
                return
            self.editor.keys(key)
            time.sleep(0.05)
        raise Failure(f"{key} never reached {name!r}; the focus is on {self.editor.focused()!r}")


def keyboard_only_cycle(run):
    editor = run.editor
    wait_for("the focus on the open button", lambda: editor.focused() == "Open Rom")
    old = run.record_bytes(0)[0]
    editor.keys("space")
    run.open_image()
    run.tab_to("List 1")
    editor.keys("Down")
    run.expect_loaded("List 1", 0)
    run.tab_to("Hp", "shift+Tab")
    editor.type(str((old + 77) % 256))
    run.tab_to("Save List 1", "shift+Tab")
    editor.keys("space")
    run.expect_saved(0, 0, (old + 77) % 256)


def first_click_after_the_dialog(run):
    run.editor.click(run.editor.control("push button", "Open Rom"))
    run.open_image()
    run.editor.click(run.editor.control("list", "List 1")[2])
    run.expect_loaded("List 1", 2)


def down_keys_load_the_next_rows(run):
    for row in (3, 4):
        run.editor.keys("Down")
        run.expect_loaded("List 1", row)


def an_edit_and_a_save(run):
    value = (run.record_bytes(4)[0] + 123) % 256
    run.editor.click(run.editor.control("text", "Hp"))
    run.editor.keys("ctrl+a")
    run.editor.type(str(value))
    run.editor.click(run.editor.control("push button", "Show Search"))
    run.editor.click(run.editor.control("push button", "Save List 1"))
    run.expect_saved(4, 0, value)


def save_list_2_after_a_list_1_load(run):
    run.editor.click(run.editor.control("push button", "Save List 2"))
    wait_for("the refusal", lambda: run.editor.message() == "Please Click an Attack to Begin")
    run.editor.answer_message()
    if run.changes() != run.expected_changes:
        raise Failure("the refused save changed the image")


def search_in_other_letter_case(run):
    name = run.catalogues["list2"][5]
    run.editor.click(run.editor.control("text", "Search List 2"))
    run.editor.type(name.upper())
    run.editor.click(run.editor.control("push button", "Search List 2"))
    run.expect_loaded("List 2", 5)
    wait_for("the focus on List 2", lambda: run.editor.focused() == "List 2")


def hide_and_show_search(run):
    for button, height in (("Hide Search", COLLAPSED_HEIGHT), ("Show Search", EXPANDED_HEIGHT)):
        run.editor.click(run.editor.control("push button", button))
        wait_for(f"a client height of {height} after {button}",
                 lambda: run.editor.client_height() == height)


def gender_help(run):
    run.editor.click(run.editor.control("label", "Gender "))
    wait_for("the gender help", lambda: run.editor.message() == GENDER_HELP)
    run.editor.answer_message()


def cancel_keeps_the_edit(run):
    run.hp = run.edit_hp("List 2", 5)
    run.ask_on_click("List 2", 6)
    run.editor.answer_message("Cancel")
    wait_for("row 5 of List 2 selected again", lambda: run.editor.selected_row("List 2") == 5)
    wait_for("the edit still in Hp", lambda: run.editor.text("Hp") == str(run.hp))
    wait_for("the focus back in Hp", lambda: run.editor.focused() == "Hp")
    run.expect_unchanged("the cancel")


def save_in_the_question(run):
    run.ask_on_click("List 2", 6)
    run.editor.answer_message("Save")
    run.expect_saved(FIRST_RECORD["List 2"] + 5, 0, run.hp)
    run.expect_loaded("List 2", 6)


def discard_in_the_question(run):
    run.edit_hp("List 2", 6)
    run.ask_on_click("List 2", 7)
    run.editor.answer_message("Discard")
    run.expect_loaded("List 2", 7)
    run.expect_unchanged("the discard")


def ctrl_s_while_collapsed(run):
    run.editor.click(run.editor.control("push button", "Hide Search"))
    wait_for("the collapsed window", lambda: run.editor.client_height() == COLLAPSED_HEIGHT)
    value = run.edit_hp("List 2", 7)
    run.editor.keys("ctrl+s")
    run.expect_saved(FIRST_RECORD["List 2"] + 7, 0, value)
    wait_for("the title without its marker", lambda: run.editor.title() == TITLE)


def exit_with_an_edit_discarded(run):
    run.edit_hp("List 2", 7)
    run.editor.click(run.editor.control("push button", "Show Search"))
    run.editor.click(run.editor.control("push button", "Exit"))
    wait_for("the question", lambda: (run.editor.message() or "").startswith(
        "Save the changes to "))
    run.editor.answer_message("Discard")
    run.editor.ended(0)
    run.expect_unchanged("the discarded exit")


def image_on_the_command_line(run):
    run.editor = Editor(run.session, run.editor_program, str(run.image))
    run.editor.click(run.editor.control("list", "List 1")[3])
    run.expect_loaded("List 1", 3)


def copy_paste_save_and_undo(run):
    """List 1 row 3 (A) is loaded; its values go into row 4 (B) and the save is taken back."""
    editor, a, b = run.editor, 3, 4
    editor.keys("ctrl+c")
    editor.click(editor.control("list", "List 1")[b])
    run.expect_loaded("List 1", b)
    b_before, a_fields = run.record_bytes(b), run.image_fields(a)
    editor.keys("ctrl+v")
    wait_for("the title marking the pasted values", lambda: editor.title() == "*" + TITLE)
    wait_for("A's values in the boxes", lambda: run.shown_fields() == a_fields)
    run.expect_unchanged("the paste")
    editor.keys("ctrl+s")
    wait_for("A's values in B's record", lambda: run.image_fields(b) == a_fields)
    wait_for("the title without its marker", lambda: editor.title() == TITLE)
    start = TABLE_OFFSET + RECORD_SIZE * b
    saved = {start + offset: run.record_bytes(b)[offset] for _, offset, _ in FIELDS
             if run.record_bytes(b)[offset] != b_before[offset]}
    changes_before = dict(run.expected_changes)
    run.expected_changes.update(saved)
    run.expect_unchanged("more than B's fields: the save")
    editor.keys("ctrl+z")
    wait_for("B's own values back in its record", lambda: run.record_bytes(b) == b_before)
    run.expected_changes = changes_before
    run.expect_unchanged("more than B's fields: the undo")
    run.expect_loaded("List 1", b)
    # The list's own menu, opened by the right button and worked by keys: its last command,
    # "Redo save of ENTRY", saves A's values into B again.
    box = editor.control("list", "List 1").queryComponent().getExtents(editor.at.DESKTOP_COORDS)
    editor.x("xdotool", "mousemove", "--sync", str(box.x + box.width // 2),
             str(box.y + box.height // 2), "click", "3")
    time.sleep(0.5)
    editor.keys("Up", "Return")
    wait_for("A's values in B's record again", lambda: run.image_fields(b) == a_fields)
    run.expected_changes.update(saved)
    run.expect_unchanged("more than B's fields: the redo")
    editor.click(editor.control("list", "List 1")[a])
    run.expect_loaded("List 1", a)


def copy_an_entry_into_another_image(run):
    """List 1 row 3 of the image is loaded; another image holds other values there."""
    other = run.image.with_name("sauvegarde.nds")  # letters the keyboard map already has
    shutil.copyfile(run.pristine, other)
    offset = TABLE_OFFSET + RECORD_SIZE * 3
    values = run.record_bytes(3)
    with open(other, "r+b") as image:
        image.seek(offset)
        image.write(bytes((value + 1) % 256 for value in values[:6]))
    run.editor.keys("ctrl+o")
    run.open_image(other)
    wait_for("the title marking the kept values as unsaved for the other image",
             lambda: run.editor.title() == "*" + TITLE)
    run.editor.keys("ctrl+s")

    def other_record():
        with open(other, "rb") as image:
            image.seek(offset)
            return image.read(27)
    wait_for("the loaded values in the other image's record", lambda: other_record() == values)
    wait_for("the title without its marker", lambda: run.editor.title() == TITLE)
    run.expect_unchanged("copying the entry into another image")


def reopen_after_an_import_refuses_ctrl_s(run):
    """The other image's List 1 row 3 is loaded with the image's values. The image is opened
    again, another program imports a change into that record, and the image is opened once
    more, as one does to see the new state: Ctrl+S must not write the old values over it."""
    run.editor.keys("ctrl+o")
    run.open_image()
    wait_for("the title without its marker", lambda: run.editor.title() == TITLE)
    hp = (run.record_bytes(3)[0] + 7) % 256
    csv = run.image.with_name("one.csv")
    csv.write_text("list,row,name,hp,atk,def,spd,spatk,spdef,ty1,ty2,cr,wh1,wh2,gr,ab1,ab2,dw\n"
                   f"List 1,3,{run.catalogues['list1'][3]},{hp}" + "," * 14 + "\n",
                   encoding="utf-8")
    subprocess.run([run.table_program, "import", str(run.image), str(csv)], check=True,
                   stdout=subprocess.DEVNULL)
    run.expected_changes[TABLE_OFFSET + RECORD_SIZE * 3] = hp
    run.editor.keys("ctrl+o")
    run.open_image()
    if run.editor.title() != TITLE:
        raise Failure("opening the same image again marked edits that nobody made")
    run.editor.keys("ctrl+s")
    wait_for("the refusal", lambda: "changed in the file since it was loaded" in (
        run.editor.message() or ""))
    run.editor.answer_message()
    run.expect_unchanged("the refused Ctrl+S")


def exit_with_nothing_unsaved(run):
    run.editor.click(run.editor.control("push button", "Show Search"))
    run.editor.click(run.editor.control("push button", "Exit"))
    run.editor.ended(0)


def refused_image_on_the_command_line(run):
    other = run.image.with_name("other game.nds")
    shutil.copyfile(run.pristine, other)
    with open(other, "r+b") as image:
        image.seek(12)
        image.write(b"ABCD")
    before = other.read_bytes()
    run.editor = Editor(run.session, run.editor_program, str(other))
    wait_for("the refusal", lambda: run.editor.message() == "Unsupported Rom")
    run.editor.answer_message()
    run.editor.ended(1)
    if other.read_bytes() != before:
        raise Failure("the refused image changed")


SCENARIOS = [
    ("keyboard alone: Space opens, a typed path, Return, Tab, Down, type, Space saves",
     keyboard_only_cycle),
    ("the first click after the dialog loads its row", first_click_after_the_dialog),
    ("Down keys load the next rows", down_keys_load_the_next_rows),
    ("an edit and a save write exactly the intended byte", an_edit_and_a_save),
    ("Save List 2 after a List 1 load is refused", save_list_2_after_a_list_1_load),
    ("search by name in other letter case", search_in_other_letter_case),
    ("Hide Search and Show Search set the two client heights", hide_and_show_search),
    ("the gender help box", gender_help),
    ("an edit, then a click on another entry: the question; Cancel keeps it all",
     cancel_keeps_the_edit),
    ("Save in the question writes the byte and loads the other entry", save_in_the_question),
    ("Discard in the question writes nothing and loads the other entry",
     discard_in_the_question),
    ("Ctrl+S while collapsed writes exactly the edited byte", ctrl_s_while_collapsed),
    ("Exit with an edit asks; Discard ends with status 0", exit_with_an_edit_discarded),
    ("stats-editor IMAGE loads on the first click", image_on_the_command_line),
    ("Ctrl+C on entry A, Ctrl+V on entry B, Ctrl+S, Ctrl+Z: B's bytes at each step",
     copy_paste_save_and_undo),
    ("open another image, Ctrl+S: the loaded values go into its record",
     copy_an_entry_into_another_image),
    ("the image, an import by another program, the image again: Ctrl+S is refused",
     reopen_after_an_import_refuses_ctrl_s),
    ("Exit with nothing unsaved ends at once", exit_with_nothing_unsaved),
    ("a refused image on the command line ends the process with status 1",
     refused_image_on_the_command_line),
]


def main():
    if len(sys.argv) != 5:
        print(__doc__, file=sys.stderr)
        return 2
    editor, table, make_sample = sys.argv[1:4]
    catalogue_dir = Path(sys.argv[4])
    missing = sorted({package for tool, package in TOOLS.items() if not shutil.which(tool)})
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        missing.append("python3-pyatspi")
    if missing:
        print("FAIL: missing Debian packages (./dev.sh test installs them): "
              + " ".join(missing), file=sys.stderr)
        return 1

    # The services that the session bus starts outlive their parent when it ends; they become
    # this process's children rather than init's, so that they can be reaped.
    PR_SET_CHILD_SUBREAPER = 36
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)
    # ctest ends a test that runs too long with SIGTERM; the session still goes down.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("FAIL: interrupted"))
    failed = False
    with tempfile.TemporaryDirectory(prefix="stats-acceptance.") as scratch:
        folder = Path(scratch)
        # A path with blanks and letters beyond ASCII, typed into the dialog. Lower case: xdotool
        # types a capital letter that the keyboard map lacks as its small one.
        (folder / "Sauvegardes été").mkdir()
        image = folder / "Sauvegardes été" / "good image ünïcødé.nds"
        subprocess.run([make_sample, str(image), "106"], check=True, stdout=subprocess.DEVNULL)
        session = Session(folder)
        title = "starting the editor in its session"
        try:
            session.open()
            session.add_keys(str(image))
            run = Run(session, editor, table, image, catalogue_dir)
            for title, scenario in SCENARIOS:
                scenario(run)
                print(f"PASS: {title}", flush=True)
        except Failure as failure:
            print(f"FAIL: {title}: {failure}", file=sys.stderr)
            failed = True
            if shutil.which("import"):  # ImageMagick, where it is installed: what the screen showed
                shot = Path.cwd() / "acceptance-failure.png"
                subprocess.run(["import", "-window", "root", str(shot)], env=session.env)
                print(f"the screen at the failure: {shot}", file=sys.stderr)
        finally:
            try:
                session.close()
            except Failure as failure:
                print(f"FAIL: {failure}", file=sys.stderr)
                failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
