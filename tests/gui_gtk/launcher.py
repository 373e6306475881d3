"""The launcher as a user keeps it: copied into a game folder whose name has
spaces and non-ASCII letters, beside a stand-in for the game executable
(the probe, which records how it was started). Started on a Desktop and
read through the accessibility bus."""

import os
import shutil
import subprocess
import tempfile
import time

from desktop import Timeout, wait_for

GAME_FOLDER = "Quarnvale Dédié Сервер"
GAME_EXECUTABLE = "Quarnvale.exe"


def _pyatspi():
    # Imported late: it finds the buses from the environment the Desktop sets.
    import pyatspi
    return pyatspi


def _children(accessible):
    return [accessible.getChildAtIndex(i) for i in range(accessible.childCount)]


def descendants(accessible):
    for child in _children(accessible):
        if child is None:
            continue
        yield child
        yield from descendants(child)


def has_state(accessible, state):
    return accessible.getState().contains(state)


def text_of(accessible):
    return accessible.queryText().getText(0, -1)


def extents(accessible, window_relative=True):
    """(x, y, width, height), relative to the window's client area or the screen."""
    pyatspi = _pyatspi()
    box = accessible.queryComponent().getExtents(pyatspi.WINDOW_COORDS if window_relative
                                                 else pyatspi.DESKTOP_COORDS)
    return (box.x, box.y, box.width, box.height)


def text_extents(accessible):
    """Where the accessible's whole text is drawn, relative to the window."""
    text = accessible.queryText()
    box = text.getRangeExtents(0, text.characterCount, _pyatspi().WINDOW_COORDS)
    return tuple(box)


def text_attributes(accessible):
    attributes = accessible.queryText().getDefaultAttributes()
    if isinstance(attributes, str):
        attributes = attributes.split(";")
    return dict(item.split(":", 1) for item in attributes if ":" in item)


def related(accessible, relation):
    for item in accessible.getRelationSet():
        if item.getRelationType() == relation:
            return [item.getTarget(i) for i in range(item.getNTargets())]
    return []


def center(accessible):
    x, y, width, height = extents(accessible, window_relative=False)
    return x + width // 2, y + height // 2


class ProbeReport:
    """What the stand-in server recorded: NUL-separated self path, working
    folder, session id, inherited descriptors, argc, argv and what standard
    input, output and error are open on. Bytes that are
    not UTF-8 decode as Python decodes file names, so a path compares equal
    exactly when its bytes do."""

    def __init__(self, data):
        fields = data.split(b"\0")[:-1]
        self.self_path, self.cwd, self.session, self.inherited = (os.fsdecode(f) for f in fields[:4])
        self.argv = [os.fsdecode(f) for f in fields[5:-1]]
        assert int(fields[4]) == len(self.argv), "argc and argv disagree"


class Launcher:
    def __init__(self, desktop, folder_name=GAME_FOLDER):
        self.desktop = desktop
        self.folder = os.path.join(tempfile.mkdtemp(prefix="games-", dir=desktop.root), folder_name)
        os.makedirs(self.folder)
        # A copy, not a link: the program finds its folder through
        # /proc/self/exe, which resolves links.
        self.program = os.path.join(self.folder, "dedicated-server-starter")
        shutil.copy2(os.environ["DSS_LAUNCHER"], self.program)
        self.game = os.path.join(self.folder, GAME_EXECUTABLE)
        shutil.copy2(os.environ["DSS_PROBE"], self.game)
        self.report_path = os.path.join(os.path.dirname(self.folder), "probe-report")
        self.log_path = os.path.join(os.path.dirname(self.folder), "launcher.log")
        self.process = None
        self.frame = None
        self.controls = []

    def start(self, env=None):
        """Starts the program, with `env` added to the desktop's environment,
        and waits until its window shows."""
        pyatspi = _pyatspi()
        env = {**self.desktop.env, "DSS_PROBE_REPORT": self.report_path,
               # The sanitizers would list the toolkit's own allocations at exit.
               "ASAN_OPTIONS": "detect_leaks=0", **(env or {})}
        with open(self.log_path, "ab") as log:
            self.process = subprocess.Popen([self.program], cwd=self.desktop.root, env=env,
                                            stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        self.frame = wait_for("the launcher's window", self._find_frame, timeout=30)
        # The panel that holds the fields; where GTK draws the title bar
        # itself (Wayland), that is another panel before it.
        panel = wait_for("the window's controls",
                         lambda: next((c for c in _children(self.frame) if c.getRole() == pyatspi.ROLE_PANEL
                                       and any(g.getRole() == pyatspi.ROLE_TEXT for g in _children(c))), None))
        self.controls = _children(panel)
        self.panel = panel
        return self

    def _find_frame(self):
        pyatspi = _pyatspi()
        if self.process.poll() is not None:
            raise AssertionError(f"the launcher ended at start with status {self.process.returncode}:\n"
                                 + self.log())
        for app in _children(pyatspi.Registry.getDesktop(0)):
            try:
                if app is None or app.get_process_id() != self.process.pid:
                    continue
                for window in _children(app):
                    if window.getRole() == pyatspi.ROLE_FRAME and has_state(window, pyatspi.STATE_SHOWING):
                        return window
            except Exception:  # an application that just left the bus
                continue
        return None

    def application(self):
        pyatspi = _pyatspi()
        for app in _children(pyatspi.Registry.getDesktop(0)):
            if app is not None and app.get_process_id() == self.process.pid:
                return app
        raise AssertionError("the launcher is not on the accessibility bus")

    def log(self):
        with open(self.log_path, "rb") as log:
            return log.read().decode(errors="replace")

    def control(self, name, layout):
        """The accessible of a control of the layout, by its name there
        ("Text1"); the window lists them in the layout's order."""
        names = [control["name"] for control in layout["controls"]]
        return self.controls[names.index(name)]

    def texts(self, layout):
        """The three fields' texts, by control name."""
        return {control["name"]: text_of(self.control(control["name"], layout))
                for control in layout["controls"] if control["kind"] == "text"}

    def focused(self):
        pyatspi = _pyatspi()
        return [c for c in self.controls if has_state(c, pyatspi.STATE_FOCUSED)]

    def wait_focus(self, accessible, what):
        return wait_for(f"the focus in {what}", lambda: self.focused() == [accessible], timeout=5)

    def frame_extents(self):
        """The window with the window manager's frame, and its client area, on the screen."""
        return extents(self.frame, window_relative=False), extents(self.panel, window_relative=False)

    def activate(self):
        """Clicks the title bar, as a user does to bring a window to the
        front."""
        pyatspi = _pyatspi()
        for _ in range(5):
            # Until the window manager has framed and placed the window, the
            # title bar is not where it will be: click again if need be.
            (fx, fy, fw, _), (_, cy, _, _) = self.frame_extents()
            if cy > fy:
                self.desktop.click(fx + fw // 2, fy + (cy - fy) // 2)
            try:
                return wait_for("the window to become active",
                                lambda: has_state(self.frame, pyatspi.STATE_ACTIVE), timeout=1)
            except Timeout:
                continue
        raise Timeout("the window did not become active when its title bar was clicked")

    def wait_exit(self, timeout):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Timeout(f"the launcher did not end within {timeout} s") from None

    def running(self):
        return self.process.poll() is None

    def probe_report(self, timeout=10):
        wait_for("the server's report", lambda: os.path.exists(self.report_path), timeout=timeout)
        with open(self.report_path, "rb") as report:
            return ProbeReport(report.read())

    def server_started(self, grace=0.5):
        """Whether the stand-in server ran, allowing it `grace` seconds to report."""
        time.sleep(grace)
        return os.path.exists(self.report_path)

    def alert(self, timeout=10):
        """The message box the launcher shows, once it is on the screen."""
        pyatspi = _pyatspi()

        def find():
            for window in _children(self.application()):
                if window.getRole() in (pyatspi.ROLE_ALERT, pyatspi.ROLE_DIALOG) and \
                        has_state(window, pyatspi.STATE_SHOWING):
                    return window
            return None
        return wait_for("a message box", find, timeout=timeout)

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()


class MessageBox:
    def __init__(self, accessible):
        pyatspi = _pyatspi()
        self.accessible = accessible
        self.role = accessible.getRole()
        everything = list(descendants(accessible))
        self.texts = [text_of(a) for a in everything if a.getRole() == pyatspi.ROLE_LABEL and text_of(a)]
        self.buttons = [a for a in everything if a.getRole() == pyatspi.ROLE_PUSH_BUTTON
                        and has_state(a, pyatspi.STATE_SHOWING)]

    def button(self, name):
        found = [b for b in self.buttons if b.name == name]
        assert len(found) == 1, f"buttons {[b.name for b in self.buttons]}, not one {name!r}"
        return found[0]

    def gone(self):
        pyatspi = _pyatspi()
        try:
            return not has_state(self.accessible, pyatspi.STATE_SHOWING)
        except Exception:
            return True
