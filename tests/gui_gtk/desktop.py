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


class _Session:
    """What every desktop here has: a temporary root for its folders and log,
    a D-Bus session and the accessibility bus."""

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
        for name in ("WAYLAND_DISPLAY", "GDK_BACKEND", "AT_SPI_BUS_ADDRESS", "NO_AT_BRIDGE", "GTK_THEME"):
            self.env.pop(name, None)

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

    def _start_buses(self, accessibility_bus_ready):
        read_end, write_end = os.pipe()
        self._spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                     f"--print-address={write_end}"], pass_fds=[write_end])
        os.close(write_end)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = _read_line_from(read_end, "the D-Bus session's address")

        self._spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        wait_for("the accessibility bus", accessibility_bus_ready)

    def _export(self, *names):
        """The accessibility client reads where the buses are from the
        environment when it is first imported."""
        os.environ.pop("AT_SPI_BUS_ADDRESS", None)
        os.environ.update({name: self.env[name] for name in names})

    def run(self, argv, **kwargs):
        return subprocess.run(argv, env=self.env, check=True, capture_output=True, text=True, **kwargs).stdout

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


class Desktop(_Session):
    """An X desktop: Xvfb and openbox, driven with xdotool."""

    def _start(self):
        read_end, write_end = os.pipe()
        self._spawn(["Xvfb", "-displayfd", str(write_end), "-noreset", "-nolisten", "tcp",
                     "-screen", "0", "1024x768x24"], pass_fds=[write_end])
        os.close(write_end)
        self.env["DISPLAY"] = ":" + _read_line_from(read_end, "Xvfb's display number")
        self._start_buses(lambda: self._root_property("AT_SPI_BUS"))

        # xdotool's keys come from the X server's XTEST keyboard. The first
        # one makes that the keyboard in use; a window manager running then
        # reloads its keymap and grabs its key bindings anew, and a binding
        # pressed meanwhile (alt+F4) reaches the window instead. So the
        # switch happens here, before there is a window manager.
        self.xdotool("key", "shift")
        self._spawn(["openbox", "--sm-disable"])
        wait_for("the window manager", lambda: self._root_property("_NET_SUPPORTING_WM_CHECK"))
        self.set_dpi(96)
        self._export("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR", "HOME")

    def _root_property(self, name):
        result = subprocess.run(["xprop", "-root", name], env=self.env, capture_output=True, text=True)
        return result.returncode == 0 and "not found" not in result.stdout and "no such atom" not in result.stdout

    def set_dpi(self, dpi):
        """Sets Xft.dpi, which GTK programs started afterwards draw at."""
        self.run(["xprop", "-root", "-format", "RESOURCE_MANAGER", "8s", "-set", "RESOURCE_MANAGER",
                  f"Xft.dpi:\t{dpi}\n"])

    def xdotool(self, *args):
        return self.run(["xdotool", *[str(arg) for arg in args]])

    def key(self, *keys):
        """Presses keys as a person would, on whatever window has the focus."""
        for key in keys:
            self.xdotool("key", "--clearmodifiers", key)
            time.sleep(0.05)

    def type(self, text):
        self.xdotool("type", "--delay", "20", "--clearmodifiers", "--", text)

    def click(self, x, y):
        # No --sync: it waits for the pointer to move, for ever if it is there already.
        self.xdotool("mousemove", x, y, "click", "1")



def read_layout(dump_program):
    """The window description as the program is built from it, in twips."""
    return json.loads(subprocess.run([dump_program], check=True, capture_output=True, text=True).stdout)
