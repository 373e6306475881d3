"""Desktops of their own for driving the launcher as a person and a screen
reader would. Each has a D-Bus session and the accessibility bus, and either
an X server (Xvfb) with a window manager (openbox, so windows get a title bar
and a close button), or a Wayland compositor (weston, headless).

Nothing here is shared with other test runs: Xvfb picks a free display
number itself (-displayfd), and every folder, the Wayland socket included,
lives in one temporary root.
"""

import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import x_display  # noqa: E402


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
        xvfb, self.env["DISPLAY"] = x_display.start_xvfb("1024x768x24", output=self._log, env=self.env)
        self._processes.append(xvfb)
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



class WaylandDesktop(_Session):
    """A Wayland session: weston, headless, drawing into memory. GTK draws
    the window's title bar itself there and the compositor alone places
    windows; nothing from outside sends keys or clicks (weston has no seat
    here, which GTK warns about once), so the launcher is read and driven
    through the accessibility bus only."""

    # In the private runtime folder, so parallel runs never meet.
    SOCKET = "wayland-dss"

    def _start(self):
        # GTK and the accessibility client would look for an X server first.
        self.env.pop("DISPLAY", None)
        os.environ.pop("DISPLAY", None)
        # Title bars that offer every button, as many desktops have them:
        # GTK then draws those the window allows. (GNOME's default offers
        # only the close button, whatever the window.)
        settings = os.path.join(self.env["XDG_CONFIG_HOME"], "glib-2.0", "settings")
        os.makedirs(settings)
        with open(os.path.join(settings, "keyfile"), "w") as keyfile:
            keyfile.write("[org/gnome/desktop/wm/preferences]\nbutton-layout='menu:minimize,maximize,close'\n")
        self.env["GSETTINGS_BACKEND"] = "keyfile"
        self._start_buses(lambda: self._session_bus_has("org.a11y.Bus"))

        self._spawn(["weston", "--backend=headless-backend.so", "--use-pixman", "--no-config",
                     f"--socket={self.SOCKET}", "--width=1024", "--height=768", "--idle-time=0"])
        # Clients that connect before weston is ready wait until it is.
        socket = os.path.join(self.env["XDG_RUNTIME_DIR"], self.SOCKET)
        wait_for("the compositor", lambda: os.path.exists(socket))
        self.env.update(WAYLAND_DISPLAY=self.SOCKET, GDK_BACKEND="wayland")
        self._export("DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR", "HOME")

    def _session_bus_has(self, name):
        # Asks who owns the name; asking the service itself would start another.
        result = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                                 "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", f"string:{name}"],
                                env=self.env, capture_output=True, text=True)
        return result.returncode == 0 and "boolean true" in result.stdout


def read_layout(dump_program):
    """The window description as the program is built from it, in twips."""
    return json.loads(subprocess.run([dump_program], check=True, capture_output=True, text=True).stdout)
