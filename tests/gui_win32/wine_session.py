#!/usr/bin/env python3
"""Runs a Windows test program under Wine on an X display of its own.

Starts Xvfb on a free display (-displayfd, so parallel runs never collide),
runs the program with DISPLAY and a private WINEPREFIX, and takes a
screenshot whenever the program prints a line "DSS-SCREENSHOT <name>",
answering with an empty line on its input once the picture is saved. On
every way out (failure, timeout, signal) it ends what it started: the
program, the prefix's wineserver with all its processes, and Xvfb.

With --init it creates the prefix instead (no display needed), where Wine
draws the window frames itself.
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import x_display  # noqa: E402

SCREENSHOT = "DSS-SCREENSHOT "


class Stop(Exception):
    pass


def on_signal(number, _frame):
    raise Stop(f"stopped by {signal.Signals(number).name}")


def start_display():
    """Starts Xvfb and returns it with the display name it chose."""
    try:
        return x_display.start_xvfb("800x600x24")
    except x_display.XDisplayError as error:
        raise Stop(str(error)) from error


def run_program(command, environment, screenshots):
    program = subprocess.Popen(command, env=environment, stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               start_new_session=True)
    try:
        for raw in program.stdout:
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            print(line, flush=True)
            if line.startswith(SCREENSHOT):
                os.makedirs(screenshots, exist_ok=True)
                picture = os.path.join(screenshots, line[len(SCREENSHOT):].strip() + ".png")
                subprocess.run(["import", "-display", environment["DISPLAY"], "-window", "root",
                                picture], check=True, timeout=60)
                print(f"screenshot: {picture}", flush=True)
                program.stdin.write(b"\n")
                program.stdin.flush()
        return program.wait()
    finally:
        if program.poll() is None:
            os.killpg(program.pid, signal.SIGKILL)
            program.wait()


def install_wine_fonts(prefix):
    """Copies Wine's own fonts (Debian's fonts-wine), where installed, into
    the prefix: this Wine does not find them in its data folder, and without
    Marlett the caption's close button shows as a letter."""
    source = "/usr/share/wine/fonts"
    if not os.path.isdir(source):
        return
    target = os.path.join(prefix, "drive_c", "windows", "Fonts")
    os.makedirs(target, exist_ok=True)
    for name in os.listdir(source):
        if name.endswith(".ttf"):
            shutil.copyfile(os.path.join(source, name), os.path.join(target, name))


def end_wineserver(wineserver, environment):
    # Kills every process of the prefix, then waits until the server is gone.
    for option in ("-k", "-w"):
        try:
            subprocess.run([wineserver, option], env=environment, timeout=30,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            pass


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--wine", required=True)
    parser.add_argument("--wineserver", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--screenshots", default=".")
    parser.add_argument("--timeout", type=int, default=240, help="seconds before everything is ended")
    parser.add_argument("--init", action="store_true", help="create the prefix")
    parser.add_argument("command", nargs="*", help="the Windows program and its arguments")
    options = parser.parse_args()

    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP, signal.SIGALRM):
        signal.signal(number, on_signal)
    # Below CTest's own limit, so that the cleanup still runs.
    signal.alarm(options.timeout)

    environment = dict(os.environ, WINEPREFIX=options.prefix, WINEDEBUG="-all")
    environment.pop("WAYLAND_DISPLAY", None)
    xvfb = None
    status = 1
    try:
        if options.init:
            environment.pop("DISPLAY", None)
            status = subprocess.run([options.wine, "wineboot", "--init"], env=environment).returncode
            # With no window manager on the display, Wine draws every
            # window's caption and frame itself, as Windows would.
            if status == 0:
                install_wine_fonts(options.prefix)
                status = subprocess.run(
                    [options.wine, "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Decorated",
                     "/t", "REG_SZ", "/d", "N", "/f"], env=environment,
                    stdout=subprocess.DEVNULL).returncode
        else:
            xvfb, environment["DISPLAY"] = start_display()
            status = run_program([options.wine] + options.command, environment, options.screenshots)
    except (Stop, OSError, subprocess.SubprocessError) as failure:
        print(f"wine_session: {failure}", file=sys.stderr, flush=True)
        status = 1
    finally:
        signal.alarm(0)
        for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            signal.signal(number, signal.SIG_IGN)
        end_wineserver(options.wineserver, environment)
        if xvfb is not None:
            xvfb.terminate()
            try:
                xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                xvfb.kill()
                xvfb.wait()
    return status


if __name__ == "__main__":
    sys.exit(main())
