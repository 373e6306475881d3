"""The launcher's window on Linux, from outside: started for real under Xvfb
with a window manager, driven with key presses and clicks (xdotool) and read
as a screen reader reads it (AT-SPI); and under a Wayland compositor, read
and driven through AT-SPI alone.

Run one class at a time (each has a desktop of its own), with DSS_LAUNCHER,
DSS_PROBE, DSS_LAYOUT_DUMP and DSS_ARTIFACTS set, as CTest does."""

import os
import re
import shutil
import time
import unittest

from desktop import Desktop, WaylandDesktop, read_layout, wait_for
from launcher import (GAME_EXECUTABLE, Launcher, MessageBox, center, descendants, extents, has_state, related,
                      text_attributes, text_extents, text_of)

TWIPS_PER_INCH = 1440
FALLBACK_FONTS = ("DejaVu Sans", "sans-serif")


def pixels(twips, dpi):
    """Twips to pixels, rounded to nearest."""
    return (twips * dpi + TWIPS_PER_INCH // 2) // TWIPS_PER_INCH


def table_box(description):
    """A control's (left, top, width, height) in the table, in pixels at 96 dpi."""
    return tuple(pixels(description[k], 96) for k in ("left", "top", "width", "height"))


def role_of(description):
    return {"label": pyatspi.ROLE_LABEL, "text": pyatspi.ROLE_TEXT,
            "button": pyatspi.ROLE_PUSH_BUTTON}[description["kind"]]


class DesktopTest(unittest.TestCase):
    """One desktop for the class; each test starts the launcher afresh."""

    desktop_kind = Desktop

    @classmethod
    def setUpClass(cls):
        cls.layout = read_layout(os.environ["DSS_LAYOUT_DUMP"])
        cls.desktop = cls.desktop_kind().start()
        # Imported once the desktop's buses are known: it connects at import.
        global pyatspi
        import pyatspi

    @classmethod
    def tearDownClass(cls):
        cls.desktop.stop()

    def setUp(self):
        self.desktop.set_dpi(96)
        self.launcher = None

    def tearDown(self):
        if self.launcher is not None:
            self.launcher.stop()
            output = self.launcher.log()
            if output:
                print(f"\n--- what the launcher printed ---\n{output}")

    def start_launcher(self, *args, env=None):
        self.launcher = Launcher(self.desktop, *args).start(env)
        return self.launcher

    def control(self, name):
        return self.launcher.control(name, self.layout)

    def preset_texts(self):
        """The fields' texts as the launcher starts beside the game."""
        return {"Text3": self.launcher.folder + "/" + GAME_EXECUTABLE,
                "Text1": "base/data/missions/bedroom.mis",
                "Text2": ""}

    def tab_order(self):
        focusable = [c for c in self.layout["controls"] if c["kind"] != "label"]
        return [c["name"] for c in sorted(focusable, key=lambda c: c["tabIndex"])]

    def screenshot(self, name, window=None):
        """Saves the screen around a window (the launcher's by default) among the test artifacts."""
        x, y, width, height = extents(window or self.launcher.frame, window_relative=False)
        margin = 8
        path = os.path.join(os.environ["DSS_ARTIFACTS"], name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        self.desktop.run(["import", "-window", "root", "-crop",
                          f"{width + 2 * margin}x{height + 2 * margin}+{x - margin}+{y - margin}", "+repage", path])
        return path

    def visible_windows(self, title):
        """The launcher's mapped top-level X windows with this title."""
        return [int(w) for w in self.desktop.xdotool(
            "search", "--onlyvisible", "--pid", self.launcher.process.pid,
            "--name", "^" + re.escape(title) + "$").split()]

    def main_window(self):
        windows = self.visible_windows(self.layout["caption"])
        self.assertEqual(len(windows), 1, "one visible top-level window")
        return windows[0]

    def window_properties(self):
        """The geometry and X properties of the launcher's window, as xdotool and xprop print them."""
        window = self.main_window()
        return (self.desktop.xdotool("getwindowgeometry", window),
                self.desktop.run(["xprop", "-id", str(window)]))

    def framed_window_properties(self):
        """The window's properties once the window manager has added its own."""
        def framed():
            geometry, properties = self.window_properties()
            return "_NET_WM_ALLOWED_ACTIONS" in properties and (geometry, properties)
        return wait_for("the window manager to frame the window", framed)

    def assert_message_box_window(self, title, main_window):
        """A message box with this title shows, modal over the launcher's
        window. (GTK names a message box for assistive technology by its
        kind, as "Error"; the title is the window's.)"""
        boxes = [w for w in self.visible_windows(title) if w != main_window]
        self.assertEqual(len(boxes), 1, f"one message box titled {title!r}")
        properties = self.desktop.run(["xprop", "-id", str(boxes[0]), "WM_TRANSIENT_FOR", "_NET_WM_STATE"])
        self.assertIn("window id # 0x%x" % main_window, properties)
        self.assertIn("_NET_WM_STATE_MODAL", properties)

    def assert_text_fits(self, dpi):
        """Every label's text is drawn inside its rectangle and left of its
        field; every field's text is as high as its field allows."""
        for description in self.layout["controls"]:
            accessible = self.control(description["name"])
            x, y, width, height = extents(accessible)
            if description["kind"] == "label":
                tx, ty, tw, th = text_extents(accessible)
                field_left = extents(self.control(description["labelFor"]))[0]
                self.assertGreaterEqual(tx, x, description["name"])
                self.assertLessEqual(tx + tw, min(x + width, field_left), f"{description['name']} at {dpi} dpi")
                self.assertGreaterEqual(ty, y, description["name"])
                self.assertLessEqual(ty + th, y + height, f"{description['name']} at {dpi} dpi")
            elif description["kind"] == "text" and text_of(accessible):
                _, ty, _, th = text_extents(accessible)
                self.assertGreater(th, 0)
                self.assertGreaterEqual(ty, y, f"{description['name']} at {dpi} dpi")
                self.assertLessEqual(ty + th, y + height, f"{description['name']} at {dpi} dpi")


class WindowAtStartTest(DesktopTest):
    """The window as it first appears, at 96 dpi: the table to the pixel."""

    def test_frame_is_a_fixed_tool_window_of_the_tables_size(self):
        self.start_launcher()
        self.assertEqual(self.launcher.frame.getRole(), pyatspi.ROLE_FRAME)
        self.assertEqual(self.launcher.frame.name, self.layout["caption"])
        client = (pixels(self.layout["clientWidth"], 96), pixels(self.layout["clientHeight"], 96))
        self.assertEqual(client, (312, 124))
        self.assertEqual(extents(self.launcher.panel), (0, 0) + client)

        geometry, properties = self.framed_window_properties()
        self.assertIn("Geometry: %dx%d" % client, geometry)
        self.assertIn("_NET_WM_WINDOW_TYPE(ATOM) = _NET_WM_WINDOW_TYPE_UTILITY", properties)
        state = re.search(r"^_NET_WM_STATE\(ATOM\) = (.*)$", properties, re.M).group(1)
        self.assertIn("_NET_WM_STATE_SKIP_TASKBAR", state)
        self.assertIn("_NET_WM_STATE_SKIP_PAGER", state)
        # Not resizable, and placed by the window manager: no position asked for.
        self.assertIn("program specified minimum size: %d by %d" % client, properties)
        self.assertIn("program specified maximum size: %d by %d" % client, properties)
        self.assertNotIn("specified location", properties)
        # Motif hints: functions move (4) and close (32); decorations border (2) and title (8).
        self.assertRegex(properties, r"_MOTIF_WM_HINTS\(_MOTIF_WM_HINTS\) = 0x3, 0x24, 0xa,")
        allowed = re.search(r"^_NET_WM_ALLOWED_ACTIONS\(ATOM\) = (.*)$", properties, re.M).group(1)
        for action in ("CLOSE", "MOVE"):
            self.assertIn(f"_NET_WM_ACTION_{action}", allowed)
        for action in ("RESIZE", "MAXIMIZE_HORZ", "MAXIMIZE_VERT", "FULLSCREEN"):
            self.assertNotIn(f"_NET_WM_ACTION_{action}", allowed)
        # The icon from the program's own artwork.
        for size in (16, 32, 48):
            self.assertIn(f"Icon ({size} x {size})", properties)
        # Minimized all the same (openbox offers the button), it is back at once, still out of the taskbar.
        window = self.main_window()
        self.desktop.xdotool("windowminimize", window)
        time.sleep(1)  # for the window manager to minimize it first
        wait_for("the window to be shown again",
                 lambda: "state: Normal" in self.desktop.run(["xprop", "-id", str(window), "WM_STATE"]))
        self.assertIn("_NET_WM_STATE_SKIP_TASKBAR, _NET_WM_STATE_SKIP_PAGER", self.window_properties()[1])

    def test_controls_match_the_table_and_are_named_by_their_labels(self):
        self.start_launcher()
        font = self.layout["font"]
        self.assertEqual(len(self.launcher.controls), len(self.layout["controls"]))
        for description in self.layout["controls"]:
            with self.subTest(control=description["name"]):
                accessible = self.control(description["name"])
                self.assertEqual(accessible.getRole(), role_of(description))
                expected = table_box(description)
                self.assertEqual(tuple(v * 15 for v in expected),
                                 tuple(description[k] for k in ("left", "top", "width", "height")))
                self.assertEqual(extents(accessible), expected)
                focusable = has_state(accessible, pyatspi.STATE_FOCUSABLE)
                self.assertEqual(focusable, description["kind"] != "label")
                if description["kind"] == "label":
                    self.assertEqual(accessible.name, description["text"])
                    self.assertEqual(text_of(accessible), description["text"])
                    field = self.control(description["labelFor"])
                    self.assertEqual(related(accessible, pyatspi.RELATION_LABEL_FOR), [field])
                    self.assertEqual(related(field, pyatspi.RELATION_LABELLED_BY), [accessible])
                    # The field's accessible name is its label's text.
                    self.assertEqual(field.name, description["text"])
                elif description["kind"] == "text":
                    self.assertTrue(has_state(accessible, pyatspi.STATE_EDITABLE))
                    self.assertTrue(has_state(accessible, pyatspi.STATE_SINGLE_LINE))
                else:
                    self.assertEqual(accessible.name, description["text"])
                    self.assertFalse(has_state(accessible, pyatspi.STATE_IS_DEFAULT), "no default button")
                if description["kind"] != "button":
                    attributes = text_attributes(accessible)
                    families = [f.strip() for f in attributes["family-name"].split(",")]
                    self.assertEqual(families, [font["face"], *FALLBACK_FONTS])
                    self.assertEqual(int(attributes["weight"]), font["weight"])
                    self.assertEqual(attributes["style"], "normal")
                    self.assertEqual(attributes["underline"], "none")
        self.assert_text_fits(96)

    def test_starts_with_the_preset_path_the_default_map_and_the_focus_in_the_map(self):
        launcher = self.start_launcher()
        self.assertEqual(launcher.texts(self.layout), self.preset_texts())
        self.assertEqual(self.tab_order()[0], "Text1")
        # Nothing clicked: keys typed as soon as the window has the focus go
        # into the map, where the caret is, nothing selected.
        main_window = self.main_window()
        wait_for("the window to have the focus", lambda: self.desktop.xdotool("getwindowfocus").strip() ==
                 str(main_window), timeout=5)
        self.desktop.type("x")
        wait_for("the typed letter", lambda: text_of(self.control("Text1")) == "xbase/data/missions/bedroom.mis")
        launcher.wait_focus(self.control("Text1"), "the map field")
        self.assertEqual(self.control("Text1").queryText().getNSelections(), 0)
        shot = self.screenshot("window-96dpi.png")
        self.assertTrue(os.path.getsize(shot) > 0)


class RightToLeftTest(DesktopTest):
    def test_labels_start_at_the_left_of_their_rectangles_in_hebrew(self):
        # GTK lays a window out right to left in Hebrew. The locale is made
        # here, since few systems have it.
        locales = os.path.join(self.desktop.root, "locales")
        os.makedirs(locales)
        self.desktop.run(["localedef", "-i", "he_IL", "-f", "UTF-8", os.path.join(locales, "he_IL.UTF-8")])
        self.start_launcher(env={"LOCPATH": locales, "LC_ALL": "he_IL.UTF-8"})
        self.assertNotIn("Locale not supported", self.launcher.log())
        for description in self.layout["controls"]:
            accessible = self.control(description["name"])
            self.assertEqual(extents(accessible), table_box(description), description["name"])
            if description["kind"] == "label":
                self.assertEqual(text_extents(accessible)[0], extents(accessible)[0], description["name"])
        self.assert_text_fits(96)
        self.screenshot("window-he_IL.png")


class ScalingTest(DesktopTest):
    """At higher resolutions everything grows in proportion and text still fits."""

    def test_rectangles_scale_with_the_resolution(self):
        for dpi in (120, 144, 192):
            with self.subTest(dpi=dpi):
                self.desktop.set_dpi(dpi)
                launcher = self.start_launcher()
                try:
                    self.check_scaled_layout(dpi)
                    self.screenshot(f"window-{dpi}dpi.png")
                finally:
                    launcher.stop()

    def check_scaled_layout(self, dpi):
        client = (pixels(self.layout["clientWidth"], dpi), pixels(self.layout["clientHeight"], dpi))
        self.assertEqual(extents(self.launcher.panel), (0, 0) + client)
        right_edges = set()
        for description in self.layout["controls"]:
            box = extents(self.control(description["name"]))
            exact = [description[k] * dpi / TWIPS_PER_INCH for k in ("left", "top", "width", "height")]
            for actual, wanted in zip(box, exact):
                self.assertLessEqual(abs(actual - wanted), 1, f"{description['name']} {box} at {dpi} dpi")
            if description["kind"] != "label":
                right_edges.add(box[0] + box[2])
        self.assertEqual(len(right_edges), 1, "fields and button end at one right edge")
        self.assert_text_fits(dpi)


class KeyboardTest(DesktopTest):
    def test_tab_and_shift_tab_cycle_map_arguments_path_launch(self):
        launcher = self.start_launcher()
        launcher.activate()
        order = self.tab_order()
        self.assertEqual(order, ["Text1", "Text2", "Text3", "Command1"])
        launcher.wait_focus(self.control(order[0]), order[0])
        for name in order[1:] + order[:1]:
            self.desktop.key("Tab")
            launcher.wait_focus(self.control(name), name)
        for name in reversed(order):
            self.desktop.key("shift+Tab")
            launcher.wait_focus(self.control(name), name)

    def test_enter_and_escape_change_nothing(self):
        launcher = self.start_launcher()
        launcher.activate()
        before = launcher.texts(self.layout)
        for position, name in enumerate(self.tab_order()):
            if position > 0:
                self.desktop.key("Tab")
            accessible = self.control(name)
            launcher.wait_focus(accessible, name)
            # Enter on the button presses it; in a field there is no default button to press.
            keys = ["Escape"] if name == "Command1" else ["Return", "Escape", "KP_Enter"]
            self.desktop.key(*keys)
            self.assertEqual(launcher.focused(), [accessible], f"focus after {keys} in {name}")
        self.assertTrue(launcher.running())
        self.assertTrue(has_state(launcher.frame, pyatspi.STATE_SHOWING))
        self.assertEqual(launcher.texts(self.layout), before)
        self.assertFalse(launcher.server_started(), "the preset path is valid, yet nothing may start")


class InvalidPathTest(DesktopTest):
    def check_invalid_path_alert(self, main_window, dismiss, screenshot=None):
        box = MessageBox(self.launcher.alert())
        self.assertEqual(box.role, pyatspi.ROLE_ALERT)
        self.assert_message_box_window("Invalid Path", main_window)
        if screenshot:
            self.screenshot(screenshot, box.accessible)
        self.assertIn("The path you entered is not valid!", box.texts)
        self.assertEqual([b.name for b in box.buttons], ["OK"])
        # Nothing behind the box takes input, whatever sends it.
        self.assertFalse(has_state(self.control("Command1"), pyatspi.STATE_SENSITIVE))
        dismiss(box)
        wait_for("the message box to close", box.gone, timeout=5)

    def test_a_folder_or_an_empty_path_brings_the_alert_and_changes_nothing(self):
        launcher = self.start_launcher()
        launcher.activate()
        main_window = self.main_window()
        path = self.control("Text3")
        # A folder, typed over the preset (Tab selects the field's text).
        self.desktop.key("Tab", "Tab")
        launcher.wait_focus(path, "the path field")
        self.desktop.type(self.desktop.root)
        wait_for("the typed path", lambda: text_of(path) == self.desktop.root)
        before = launcher.texts(self.layout)
        self.desktop.key("Tab")
        launcher.wait_focus(self.control("Command1"), "the button")
        self.desktop.key("Return")
        self.check_invalid_path_alert(main_window, lambda box: self.desktop.key("Return"),
                                      screenshot="invalid-path-alert.png")
        self.assertTrue(launcher.running())
        self.assertTrue(has_state(launcher.frame, pyatspi.STATE_SHOWING))
        self.assertEqual(launcher.texts(self.layout), before)

        # The keyboard goes on where it was: to an empty path, and the mouse on the button.
        launcher.wait_focus(self.control("Command1"), "the button")
        self.desktop.key("shift+Tab")
        launcher.wait_focus(path, "the path field")
        self.desktop.key("BackSpace")
        wait_for("an empty path", lambda: text_of(path) == "")
        before = launcher.texts(self.layout)
        self.desktop.click(*center(self.control("Command1")))
        self.check_invalid_path_alert(main_window, lambda box: self.desktop.key("Return"))
        self.assertTrue(launcher.running())
        self.assertTrue(has_state(launcher.frame, pyatspi.STATE_SHOWING))
        self.assertEqual(launcher.texts(self.layout), before)
        self.assertFalse(launcher.server_started())


class LaunchTest(DesktopTest):
    def test_starts_the_server_with_the_exact_arguments_and_ends(self):
        launcher = self.start_launcher()
        launcher.activate()
        # Non-ASCII is put in through the accessibility interface; ASCII is typed.
        mission = "base/data/missions/chambre-à-coucher_Спальня.mis"
        self.control("Text1").queryEditableText().setTextContents(mission)
        wait_for("the new map", lambda: text_of(self.control("Text1")) == mission)
        self.desktop.key("Tab")
        launcher.wait_focus(self.control("Text2"), "the arguments field")
        typed = "+set name \"Friday  Night\" -port 28000 'single quoted' back\\ slash #1 $HOME"
        self.desktop.type(typed)
        wait_for("the typed arguments", lambda: text_of(self.control("Text2")) == typed)
        self.desktop.key("Tab", "Tab")
        launcher.wait_focus(self.control("Command1"), "the button")
        self.desktop.key("space")

        self.assertEqual(launcher.wait_exit(timeout=5), 0)
        report = launcher.probe_report()
        self.assertEqual(report.self_path, launcher.game)
        self.assertEqual(report.cwd, self.desktop.root, "the server inherits the launcher's working folder")
        self.assertEqual(report.argv, [launcher.game, "-dedicated", "-mission", mission,
                                       "+set", "name", "Friday  Night", "-port", "28000", "single quoted",
                                       "back slash", "#1", "$HOME"])


class LongTextTest(DesktopTest):
    def test_a_paste_of_more_than_64_kib_is_kept_whole_edited_and_launched(self):
        launcher = self.start_launcher()
        launcher.activate()
        # Some 100,000 characters and 110,000 bytes: past GTK's own 65,535-byte store.
        words = [f"-k{number:05d}=\u00e9" for number in range(10000)]
        pasted = " ".join(words)
        self.desktop.own_clipboard(pasted)
        arguments = self.control("Text2")
        self.desktop.key("Tab")
        launcher.wait_focus(arguments, "the arguments field")
        self.desktop.key("ctrl+v")
        wait_for("the pasted text", lambda: text_of(arguments) == pasted, timeout=20)
        # Typing and deleting still go where the caret is: after the paste.
        self.desktop.type(" -tail")
        self.desktop.key("BackSpace", "BackSpace")
        wait_for("the edited text", lambda: text_of(arguments) == pasted + " -ta")
        self.desktop.click(*center(self.control("Command1")))

        self.assertEqual(launcher.wait_exit(timeout=10), 0)
        report = launcher.probe_report()
        self.assertEqual(report.argv, [launcher.game, "-dedicated", "-mission", "base/data/missions/bedroom.mis",
                                       *words, "-ta"])


class LegacyFolderNameTest(DesktopTest):
    """The launcher in a folder whose name is Latin-1 bytes, as unzip leaves
    names from Windows archives. The field shows each byte that is not UTF-8
    as U+FFFD; the launch uses the name's exact bytes."""

    FOLDER = os.fsdecode(b"G\xe4me Files")
    SHOWN = "G\ufffdme Files"

    def shown_path(self):
        return os.path.join(os.path.dirname(self.launcher.folder), self.SHOWN, GAME_EXECUTABLE)

    def test_the_preset_starts_the_server_by_the_folders_exact_bytes(self):
        launcher = self.start_launcher(self.FOLDER)
        self.assertEqual(text_of(self.control("Text3")), self.shown_path())
        launcher.activate()
        self.screenshot("non-utf8-folder.png")
        self.desktop.click(*center(self.control("Command1")))

        self.assertEqual(launcher.wait_exit(timeout=5), 0)
        report = launcher.probe_report()
        self.assertEqual(report.self_path, launcher.game)
        self.assertEqual(report.argv[0], launcher.game)

    def test_a_failure_names_the_path_as_shown_and_an_edited_path_counts_as_typed(self):
        launcher = self.start_launcher(self.FOLDER)
        with open(launcher.game, "w") as text:
            text.write("not a program\n")
        # A folder named by the readable form itself, with a working server:
        # which file starts tells which text counted.
        typed_game = self.shown_path()
        os.makedirs(os.path.dirname(typed_game))
        shutil.copy2(os.environ["DSS_PROBE"], typed_game)
        path = self.control("Text3")
        self.assertEqual(text_of(path), typed_game)
        launcher.activate()
        self.desktop.click(*center(self.control("Command1")))
        box = MessageBox(launcher.alert())
        self.assertTrue(any(typed_game in text for text in box.texts), box.texts)
        self.screenshot("non-utf8-start-failure.png", box.accessible)
        self.desktop.click(*center(box.button("OK")))
        wait_for("the message box to close", box.gone, timeout=5)
        self.assertFalse(launcher.server_started())

        # Retyping the last letter leaves the same text, now the user's own.
        launcher.activate()
        self.desktop.key("shift+Tab")
        launcher.wait_focus(path, "the path field")
        self.desktop.key("End", "BackSpace")
        wait_for("the shortened path", lambda: text_of(path) == typed_game[:-1])
        self.desktop.type(typed_game[-1])
        wait_for("the retyped path", lambda: text_of(path) == typed_game)
        self.desktop.click(*center(self.control("Command1")))
        self.assertEqual(launcher.wait_exit(timeout=5), 0)
        self.assertEqual(launcher.probe_report().self_path, typed_game)


class StartFailureTest(DesktopTest):
    def test_a_file_that_is_no_program_is_reported_and_the_window_stays(self):
        launcher = self.start_launcher()
        launcher.activate()
        readme = os.path.join(launcher.folder, "readme.txt")
        with open(readme, "w") as text:
            text.write("not a program\n")
        self.control("Text3").queryEditableText().setTextContents(readme)
        wait_for("the new path", lambda: text_of(self.control("Text3")) == readme)
        before = launcher.texts(self.layout)
        main_window = self.main_window()
        self.desktop.click(*center(self.control("Command1")))

        box = MessageBox(launcher.alert())
        self.assertEqual(box.role, pyatspi.ROLE_ALERT)
        self.assert_message_box_window(self.layout["caption"], main_window)
        self.assertTrue(any(readme in text for text in box.texts), box.texts)
        self.screenshot("start-failure-alert.png", box.accessible)
        self.desktop.click(*center(box.button("OK")))
        wait_for("the message box to close", box.gone, timeout=5)
        self.assertTrue(launcher.running())
        self.assertTrue(has_state(launcher.frame, pyatspi.STATE_SHOWING))
        self.assertEqual(launcher.texts(self.layout), before)
        self.assertFalse(launcher.server_started())


class WineServerTest(DesktopTest):
    """Quarnvale.exe as the Windows program it is, started through Wine.
    Wine is reached through a script that first waits two seconds, as a
    first start in a new Wine prefix does for longer: the window goes on
    meanwhile."""

    def start_wine_launcher(self, program):
        probe = os.environ.get("DSS_WINDOWS_PROBE")
        if not probe or not shutil.which("wine"):
            self.skipTest("no Windows probe or no Wine")
        slow_wine = os.path.join(self.desktop.root, "slow-wine")
        with open(slow_wine, "w") as script:
            script.write('#!/bin/sh\nsleep 2\nexec wine "$@"\n')
        os.chmod(slow_wine, 0o755)
        launcher = Launcher(self.desktop)
        with open(probe, "rb") as source, open(launcher.game, "wb") as game:
            game.write(program(source.read()))
        self.launcher = launcher.start({
            "WINE": slow_wine, "WINEPREFIX": os.environ["DSS_WINEPREFIX"], "WINEDEBUG": "-all",
            "LC_ALL": "C.UTF-8", "DSS_PROBE_REPORT": "Z:" + launcher.report_path.replace("/", "\\")})
        launcher.activate()
        self.desktop.click(*center(self.control("Command1")))
        wait_for("Launch to wait for Wine", lambda: not has_state(self.control("Command1"), pyatspi.STATE_SENSITIVE))
        return launcher

    def test_a_cut_short_program_is_refused_with_wines_reason_and_the_window_stays(self):
        launcher = self.start_wine_launcher(lambda program: program[:4096])
        before = launcher.texts(self.layout)
        # Answering the accessibility bus at all shows the window is not frozen.
        self.screenshot("wine-waiting.png")
        box = MessageBox(launcher.alert())
        self.assertTrue(any("Bad EXE format" in text for text in box.texts), box.texts)
        self.screenshot("wine-start-failure.png", box.accessible)
        self.desktop.click(*center(box.button("OK")))
        wait_for("the message box to close", box.gone, timeout=5)
        self.assertTrue(launcher.running())
        self.assertEqual(launcher.texts(self.layout), before)
        self.assertTrue(has_state(self.control("Command1"), pyatspi.STATE_SENSITIVE))
        self.assertFalse(launcher.server_started())

    def test_closing_while_wine_starts_the_server_ends_the_launcher_and_the_start_goes_on(self):
        launcher = self.start_wine_launcher(lambda program: program)
        self.desktop.key("alt+F4")
        self.assertEqual(launcher.wait_exit(timeout=1.5), 0)
        wait_for("the server to start all the same", lambda: os.path.exists(launcher.report_path), timeout=30)


class CloseTest(DesktopTest):
    def test_the_close_button_ends_the_program_with_nothing_started(self):
        launcher = self.start_launcher()
        launcher.activate()
        # The window manager's close button ends the title bar, on the right.
        (fx, fy, fw, _), (_, cy, _, _) = launcher.frame_extents()
        title_height = cy - fy
        self.desktop.click(fx + fw - title_height // 2 - 1, fy + title_height // 2)
        self.assertEqual(launcher.wait_exit(timeout=5), 0)
        self.assertFalse(launcher.server_started())

    def test_the_window_managers_close_key_ends_the_program_with_nothing_started(self):
        launcher = self.start_launcher()
        launcher.activate()
        self.desktop.key("alt+F4")
        self.assertEqual(launcher.wait_exit(timeout=5), 0)
        self.assertFalse(launcher.server_started())


class WaylandTest(DesktopTest):
    """Under a Wayland compositor, which places the window, and where GTK
    draws the title bar itself: what the program decides, read and pressed
    through the accessibility bus."""

    desktop_kind = WaylandDesktop

    def setUp(self):
        # No Xft.dpi here: GTK draws at 96 dpi while GSettings scales no text.
        self.launcher = None

    def test_the_tables_controls_the_preset_and_a_close_button_only(self):
        launcher = self.start_launcher()
        self.assertEqual(launcher.frame.name, self.layout["caption"])
        title_buttons = [a.name for a in descendants(launcher.frame) if a.getRole() == pyatspi.ROLE_PUSH_BUTTON
                         and has_state(a, pyatspi.STATE_SHOWING) and a not in launcher.controls]
        self.assertEqual(title_buttons, ["Close"])

        # Positions relative to the client area: the screen's belong to the compositor.
        left, top, width, height = extents(launcher.panel)
        self.assertEqual((width, height), (pixels(self.layout["clientWidth"], 96),
                                           pixels(self.layout["clientHeight"], 96)))
        label_of = {c["labelFor"]: c["text"] for c in self.layout["controls"] if c["kind"] == "label"}
        for description in self.layout["controls"]:
            accessible = self.control(description["name"])
            x, y, w, h = extents(accessible)
            self.assertEqual((accessible.getRole(), accessible.name, (x - left, y - top, w, h)),
                             (role_of(description), label_of.get(description["name"], description["text"]),
                              table_box(description)), description["name"])
        self.assertEqual(launcher.texts(self.layout), self.preset_texts())

    def test_launch_starts_the_server_with_the_exact_arguments_and_ends(self):
        launcher = self.start_launcher()
        mission = "base/data/missions/chambre-à-coucher_Спальня.mis"
        arguments = "+set name \"Friday  Night\" -port 28000 'single quoted'"
        for name, text in (("Text1", mission), ("Text2", arguments)):
            self.control(name).queryEditableText().setTextContents(text)
            wait_for(f"the text of {name}", lambda: text_of(self.control(name)) == text)
        action = self.control("Command1").queryAction()
        click = [action.getName(i) for i in range(action.nActions)].index("click")
        try:
            action.doAction(click)
        except Exception:
            pass  # the launcher may end before it answers, or the answer time out: what counts is below
        self.assertEqual(launcher.wait_exit(timeout=5), 0)
        self.assertEqual(launcher.probe_report().argv, [launcher.game, "-dedicated", "-mission", mission,
                                                        "+set", "name", "Friday  Night", "-port", "28000",
                                                        "single quoted"])


if __name__ == "__main__":
    unittest.main()
