"""A desktop of its own for driving the launcher as a person and a screen
reader would: an X server (Xvfb), a window manager (openbox, so windows get
a title bar and a close button), a D-Bus session and the accessibility bus.

Nothing here is shared with other test runs: Xvfb picks a free display
number itself (-displayfd), and every folder lives in one temporary root.
"""

import json
import os
import select
import shutil
import subprocess
import tempfile
import time


class Timeout(AssertionError):
    pass


def wait_for(what, probe, timeout=10.0, interval=0.05):
    """Polls `probe` until it returns something true; returns that."""
    deadline = time.monotonic() + timeout
    while True:
        result = probe()
        if result:
            return result
        if time.monotonic() > deadline:
            raise Timeout(f"timed out waiting for {what}")
        time.sleep(interval)


def _read_line_from(fd, what, timeout=20.0):
    """Reads one line a child writes to the pipe `fd`."""
    data = b""
    deadline = time.monotonic() + timeout
    while not data.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            raise Timeout(f"timed out waiting for {what}")
        chunk = os.read(fd, 256)
        if not chunk:
            raise AssertionError(f"{what}: the program ended before answering")
        data += chunk
    os.close(fd)
    return data.decode().strip()


class Desktop:
    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="dss-gui-")
        self.log_path = os.path.join(self.root, "desktop.log")
        self._log = open(self.log_path, "wb")
        self._processes = []
        self.env = dict(os.environ)
        for name in ("HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"):
            folder = os.path.join(self.root, name.lower())
            os.makedirs(folder, mode=0o700)
            self.env[name] = folder
        # No dconf here: GSettings keeps its values in memory, quietly.
        self.env["GSETTINGS_BACKEND"] = "memory"
        self.env.pop("WAYLAND_DISPLAY", None)
        self.env.pop("NO_AT_BRIDGE", None)
        self.env.pop("GTK_THEME", None)

    def _spawn(self, argv, **kwargs):
        process = subprocess.Popen(argv, env=self.env, stdin=subprocess.DEVNULL, stdout=self._log,
                                   stderr=self._log, **kwargs)
        self._processes.append(process)
        return process

    def start(self):
        try:
            self._start()
        except BaseException:
            self.stop()
            raise
        return self

    def _start(self):
        read_end, write_end = os.pipe()
        self._spawn(["Xvfb", "-displayfd", str(write_end), "-noreset", "-nolisten", "tcp",
                     "-screen", "0", "1024x768x24"], pass_fds=[write_end])
        os.close(write_end)
        self.env["DISPLAY"] = ":" + _read_line_from(read_end, "Xvfb's display number")

        read_end, write_end = os.pipe()
        self._spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                     f"--print-address={write_end}"], pass_fds=[write_end])
        os.close(write_end)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = _read_line_from(read_end, "the D-Bus session's address")

        self._spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        wait_for("the accessibility bus", lambda: self._root_property("AT_SPI_BUS"))

        self._spawn(["openbox", "--sm-disable"])
        wait_for("the window manager", lambda: self._root_property("_NET_SUPPORTING_WM_CHECK"))
        self.set_dpi(96)

        # The accessibility client reads where the buses are from the
        # environment when it is first imported.
        os.environ.update({name: self.env[name] for name in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS",
                                                            "XDG_RUNTIME_DIR", "HOME")})

    def _root_property(self, name):
        result = subprocess.run(["xprop", "-root", name], env=self.env, capture_output=True, text=True)
        return result.returncode == 0 and "not found" not in result.stdout and "no such atom" not in result.stdout

    def set_dpi(self, dpi):
        """Sets Xft.dpi, which GTK programs started afterwards draw at."""
        self.run(["xprop", "-root", "-format", "RESOURCE_MANAGER", "8s", "-set", "RESOURCE_MANAGER",
                  f"Xft.dpi:\t{dpi}\n"])

    def run(self, argv, **kwargs):
        return subprocess.run(argv, env=self.env, check=True, capture_output=True, text=True, **kwargs).stdout

    def xdotool(self, *args):
        return self.run(["xdotool", *[str(arg) for arg in args]])

    def key(self, *keys):
        """Presses keys as a person would, on whatever window has the focus."""
        for key in keys:
            self.xdotool("key", "--clearmodifiers", key)
            time.sleep(0.05)

    def type(self, text):
        self.xdotool("type", "--delay", "20", "--clearmodifiers", "--", text)

    def own_clipboard(self, text):
        """Puts `text` on the clipboard, held by a program of its own until the desktop stops."""
        owner = os.path.join(os.path.dirname(os.path.abspath(__file__)), "clipboard_owner.py")
        read_end, write_end = os.pipe()
        # Off the accessibility bus: only the launcher is looked for there.
        process = subprocess.Popen(["/usr/bin/python3", owner], env=dict(self.env, NO_AT_BRIDGE="1"),
                                   stdin=subprocess.PIPE, stdout=write_end, stderr=self._log)
        self._processes.append(process)
        os.close(write_end)
        process.stdin.write(text.encode())
        process.stdin.close()
        if _read_line_from(read_end, "the clipboard's owner") != "ready":
            raise AssertionError("the clipboard's owner did not take the clipboard")

    def click(self, x, y):
        # No --sync: it waits for the pointer to move, for ever if it is there already.
        self.xdotool("mousemove", x, y, "click", "1")

    def stop(self):
        for process in reversed(self._processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        self._processes.clear()
        self._log.close()
        shutil.rmtree(self.root, ignore_errors=True)


def read_layout(dump_program):
    """The window description as the program is built from it, in twips."""
    return json.loads(subprocess.run([dump_program], check=True, capture_output=True, text=True).stdout)
