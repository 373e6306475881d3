#!/usr/bin/env python3
"""Makes this build's release package with cpack, unpacks it and checks it.

    check_package.py linux   --cpack CPACK --config CPackConfig.cmake --name NAME --version V --source DIR --xbench XBENCH
    check_package.py linux   --archive NAME.tar.gz --name NAME --version V --source DIR --root ROOT --newest-glibc 2.31
    check_package.py windows --cpack CPACK --config CPackConfig.cmake --name NAME --version V --source DIR --machine i386|amd64

In both, the times in the package are the time of DIR's commit (or
SOURCE_DATE_EPOCH), which every build of it writes.

linux: NAME.tar.gz holds exactly the launcher, its desktop entry, its icons,
the script that adds a menu entry and the README, in a folder NAME; the
script writes an entry that starts the launcher in a game's folder, in that
folder; the unpacked launcher starts on an X display of its own (Xvfb), maps
its window and ends with status 0 when the window is asked to close.

linux --archive: the same checks on a package made elsewhere; the launcher
asks for no glibc symbol newer than --newest-glibc, and in the Debian root
ROOT (entered with tools/debian11-run) it shows its window, and one click on
Launch starts a stand-in server (tests/probe/probe_posix.cpp, built there)
with the exact arguments and none of the launcher's descriptors, although
the launcher was handed one that is not close-on-exec.

windows: NAME.zip holds exactly DedicatedServerStarter.exe and its README;
the program is a GUI program for MACHINE and carries the version resource
of project version V. Only the file is read, so this runs where Wine cannot.

Prints each failed check and exits 1 if there is any.
"""

import argparse
import contextlib
import os
import re
import shutil
import stat
import subprocess
import sys
import tarfile
import tempfile
import time
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import x_display as private_display  # noqa: E402

README = "DedicatedServerStarter-README.txt"
LINUX_FILES = {
    README,
    "add-to-menu.sh",
    "bin/dedicated-server-starter",
    "share/applications/dedicated-server-starter.desktop",
    *(f"share/icons/hicolor/{size}x{size}/apps/dedicated-server-starter.png" for size in (16, 32, 48, 64, 128)),
}
WINDOWS_FILES = {"DedicatedServerStarter.exe", README}

# IMAGE_FILE_HEADER.Machine and IMAGE_SUBSYSTEM_WINDOWS_GUI.
MACHINES = {"i386": 0x14C, "amd64": 0x8664}
WINDOWS_GUI = 2

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# The Launch button's middle in the client area at 96 dpi (Command1 in
# window/layout.hpp: 120, 1200, 4455 x 495 twips), as bench.sh clicks it.
LAUNCH_BUTTON = ("156", "96")
# O_CLOEXEC in the flags of /proc/PID/fdinfo/FD.
CLOSE_ON_EXEC = 0o2000000

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def make_package(args, folder):
    """Runs cpack into `folder`, or copies --archive there; returns the archive's path."""
    if args.archive:
        return shutil.copy(args.archive, folder)
    result = subprocess.run([args.cpack, "--config", args.config, "-B", folder],
                            capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"cpack failed:\n{result.stdout}{result.stderr}")
    suffix = ".zip" if args.system == "windows" else ".tar.gz"
    made = sorted(name for name in os.listdir(folder) if not name.startswith("_CPack"))
    archive = args.name + suffix
    if not check(made == [archive], f"cpack made {made}, expected exactly [{archive!r}]"):
        sys.exit("\n".join(f"FAIL: {failure}" for failure in failures))
    return os.path.join(folder, archive)


def build_time(source):
    """The time a build of `source` writes, or None outside a git checkout."""
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    result = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"], capture_output=True, text=True)
    return int(result.stdout) if result.returncode == 0 else None


def check_readme(text, program, newline, version, needs):
    check("Quarnvale.exe" in text and "game's folder" in text,
          "the README does not say to copy the launcher into the game's folder, next to Quarnvale.exe")
    check(program in text, f"the README does not name {program}")
    check(version in text, f"the README does not give the version {version}")
    check(needs in " ".join(text.split()), f"the README does not say that the launcher needs {needs}")
    lines = text.split("\n")[:-1]
    check(text.endswith("\n") and all(line.endswith("\r") == (newline == "\r\n") for line in lines),
          f"the README does not end every line with {newline!r}")


def check_linux(args, folder):
    archive = make_package(args, folder)
    with tarfile.open(archive) as tar:
        members = {member.name: member for member in tar.getmembers()}
        files = {name for name, member in members.items() if member.isfile()}
        check(all(name == args.name or name.startswith(args.name + "/") for name in members),
              f"entries outside the folder {args.name}: {sorted(members)}")
        inside = {name[len(args.name) + 1:] for name in files}
        check(inside == LINUX_FILES, f"files {sorted(inside)}, expected exactly {sorted(LINUX_FILES)}")
        check(args.time is None or {member.mtime for member in members.values()} == {args.time},
              f"file times in the tarball other than the commit's, {args.time}")
        launcher = members.get(f"{args.name}/bin/dedicated-server-starter")
        check(launcher is not None and launcher.mode & 0o111 == 0o111, "the launcher is not executable by everyone")
        tar.extractall(folder)
    unpacked = os.path.join(folder, args.name)
    with open(os.path.join(unpacked, README), newline="") as readme:
        check_readme(readme.read(), "bin/dedicated-server-starter", "\n", args.version, "Wine to start Quarnvale.exe")
    with open(os.path.join(unpacked, "share/applications/dedicated-server-starter.desktop")) as entry:
        lines = entry.read().splitlines()
        check("Exec=dedicated-server-starter" in lines and "Icon=dedicated-server-starter" in lines,
              "the desktop entry does not start dedicated-server-starter with its icon")
    with open(os.path.join(unpacked, "share/icons/hicolor/48x48/apps/dedicated-server-starter.png"), "rb") as icon:
        header = icon.read(24)
        check(header[:8] == b"\x89PNG\r\n\x1a\n" and header[16:24] == (48).to_bytes(4, "big") * 2,
              "the 48x48 icon is not a 48x48 PNG")
    launcher = os.path.join(unpacked, "bin/dedicated-server-starter")
    check_menu_entry(unpacked, folder)
    if args.newest_glibc:
        check_glibc(launcher, args.newest_glibc)
    if args.root:
        check_launch_in_root(args, launcher, folder)
    else:
        check_launcher_starts(args, launcher, folder)


def check_glibc(launcher, newest):
    """The launcher asks for no glibc symbol version newer than `newest`."""
    symbols = subprocess.run(["objdump", "-T", launcher], capture_output=True, text=True, check=True).stdout
    wanted = {tuple(map(int, version.split("."))) for version in re.findall(r"\bGLIBC_([0-9.]+[0-9])", symbols)}
    too_new = sorted(".".join(map(str, version)) for version in wanted
                     if version > tuple(map(int, newest.split("."))))
    check(wanted and not too_new, f"the launcher asks for glibc {too_new or 'nothing'}, not {newest} or older")


def check_menu_entry(unpacked, folder):
    """The entry add-to-menu.sh writes, read by GLib, starts a game folder's launcher there."""
    from gi.repository import GLib

    game = os.path.join(folder, 'Games/Q "$HOME" `x` & ; = 100% \\ Ünï')
    os.makedirs(game)
    launcher = shutil.copy2(os.path.join(unpacked, "bin/dedicated-server-starter"), game)
    home = os.path.join(folder, "menu-home")
    env = dict(os.environ, HOME=home, XDG_DATA_HOME=os.path.join(home, ".local/share"))
    result = subprocess.run([os.path.join(unpacked, "add-to-menu.sh"), game], env=env, cwd=folder,
                            capture_output=True, text=True)
    if not check(result.returncode == 0, f"add-to-menu.sh failed: {result.stdout}{result.stderr}"):
        return
    path = os.path.join(home, ".local/share/applications/dedicated-server-starter.desktop")
    entry = GLib.KeyFile()
    entry.load_from_file(path, GLib.KeyFileFlags.NONE)
    command = entry.get_string("Desktop Entry", "Exec").replace("%%", "%")
    check(GLib.shell_parse_argv(command)[1] in ([launcher], ["/bin/sh", "-c", 'exec "$0"', launcher]),
          f"the menu entry runs {command!r}, not the launcher in {game!r}")
    check(entry.get_string("Desktop Entry", "Path") == game, "the menu entry does not run in the game's folder")
    # A stand-in at the launcher's place prints, on the output gio hands on, where and as what it runs.
    with open(launcher, "w") as stand_in:
        stand_in.write('#!/bin/sh\npwd; printf %s "$0"\n')
    ran = subprocess.run(["gio", "launch", path], env=env, capture_output=True, text=True, timeout=60)
    check(ran.stdout == f"{game}\n{launcher}", f"gio launch ran {ran.stdout!r}, not the launcher there: {ran.stderr}")


def desktop_environment(folder):
    """A home and runtime folders of the launcher's own inside `folder`."""
    env = {}
    for name in ("HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"):
        env[name] = os.path.join(folder, name.lower())
        os.makedirs(env[name], mode=0o700)
    # No D-Bus session or accessibility bus here: nothing is to start one.
    env.update(GSETTINGS_BACKEND="memory", NO_AT_BRIDGE="1", DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent")
    return env


@contextlib.contextmanager
def x_display():
    """An X display of its own (Xvfb); yields its name."""
    try:
        xvfb, display = private_display.start_xvfb("640x480x24")
    except private_display.XDisplayError as error:
        sys.exit(str(error))
    try:
        yield display
    finally:
        xvfb.terminate()
        xvfb.wait()


def check_launcher_starts(args, launcher, folder):
    """Starts the launcher on an X display of its own and closes its window."""
    env = dict(os.environ) | desktop_environment(folder) | {"ASAN_OPTIONS": "detect_leaks=0"}
    env.pop("WAYLAND_DISPLAY", None)
    with x_display() as display:
        env["DISPLAY"] = display
        # The launcher's window as the window system sees it: mapped, then
        # closed as by a window manager's close button.
        result = subprocess.run([args.xbench, "start", "--close", "--timeout", "60", "--", launcher],
                                env=env, cwd=folder, capture_output=True, text=True)
        check(result.returncode == 0 and "map_ms=" in result.stdout,
              f"the packaged launcher did not map its window: {result.stdout}{result.stderr}")
        check(" exit=0" in result.stdout,
              f"the packaged launcher did not end with status 0 on closing: {result.stdout}{result.stderr}")


def check_launch_in_root(args, launcher, folder):
    """Clicks Launch in the launcher started in the Debian root --root and reads what the server got."""
    enter = [os.path.join(SOURCE, "tools/debian11-run"), args.root, "--bind", f"{folder}:{folder}", "--"]
    # The preset path names Quarnvale.exe beside the launcher.
    server = os.path.join(os.path.dirname(launcher), "Quarnvale.exe")
    probe = shutil.copy(os.path.join(SOURCE, "tests/probe/probe_posix.cpp"), folder)
    built = subprocess.run(enter + ["g++", "-std=c++20", "-O2", "-o", server, probe], capture_output=True, text=True)
    if not check(built.returncode == 0, f"the probe did not build in {args.root}: {built.stdout}{built.stderr}"):
        return
    report = os.path.join(folder, "report")
    env = desktop_environment(folder) | {"DSS_PROBE_REPORT": report}
    with x_display() as display:
        env["DISPLAY"] = display

        def xdotool(*words):
            return subprocess.run(["xdotool", *words], env=env, capture_output=True, text=True, timeout=60,
                                  check=True).stdout.split()

        def shown_window():
            """The launcher's window once shown; gives up when the launcher ends first."""
            for _ in range(600):
                try:
                    return xdotool("search", "--onlyvisible", "--name", "^Dedicated Server Starter$")[0]
                except subprocess.CalledProcessError:
                    if started.poll() is not None:
                        raise
                    time.sleep(0.1)
            raise subprocess.TimeoutExpired("xdotool search", 60)

        # Not close-on-exec, as a file manager or terminal may leak one.
        handed = os.open("/dev/null", os.O_RDONLY)
        started = subprocess.Popen(enter + ["env", *(f"{name}={value}" for name, value in env.items()), launcher],
                                   pass_fds=[handed], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        os.close(handed)
        try:
            window = shown_window()
            with open(f"/proc/{xdotool('getwindowpid', window)[0]}/fdinfo/{handed}") as info:
                flags = int(re.search(r"^flags:\s*([0-7]+)", info.read(), re.M).group(1), 8)
            check(flags & CLOSE_ON_EXEC == 0, "the launcher holds the descriptor it was handed as close-on-exec")
            xdotool("mousemove", "--window", window, *LAUNCH_BUTTON, "click", "1")
            output = started.communicate(timeout=60)[0]
        except (subprocess.SubprocessError, OSError) as error:
            started.kill()
            check(False, f"the launcher did not show its window and end on a click: {error}: "
                         f"{started.communicate()[0]}")
            return
        finally:
            # On any way out: ending tools/debian11-run ends the launcher too.
            started.kill()
            started.wait()
    if not check(started.returncode == 0, f"the launcher ended with status {started.returncode}: {output}"):
        return
    # The launcher ends once the server has started; the server writes its report alone.
    for _ in range(300):
        if os.path.exists(report):
            break
        time.sleep(0.1)
    if not check(os.path.exists(report), "the server wrote no report: was it started?"):
        return
    with open(report, "rb") as received:
        fields = received.read().decode().split("\0")[:-1]
    check(fields[5:-1] == [server, "-dedicated", "-mission", "base/data/missions/bedroom.mis"],
          f"the server got the arguments {fields[5:-1]}")
    check(fields[3] == "", f"the server inherited the descriptors {fields[3]}")


def check_windows(args, folder):
    import pefile  # only here: the Linux check works without it

    archive = make_package(args, folder)
    with zipfile.ZipFile(archive) as package:
        names = set(package.namelist())
        check(names == WINDOWS_FILES, f"files {sorted(names)}, expected exactly {sorted(WINDOWS_FILES)} at the root")
        readme = package.read(README).decode("utf-8") if README in names else ""
        program = package.read("DedicatedServerStarter.exe") if "DedicatedServerStarter.exe" in names else b""
    check_readme(readme, "DedicatedServerStarter.exe", "\r\n", args.version, "Windows Vista or later")
    if not check(program[:2] == b"MZ", "DedicatedServerStarter.exe is not a Windows program"):
        return
    pe = pefile.PE(data=program)
    check(pe.FILE_HEADER.Machine == MACHINES[args.machine],
          f"machine {pe.FILE_HEADER.Machine:#x}, expected {args.machine}")
    check(args.time is None or pe.FILE_HEADER.TimeDateStamp == args.time,
          f"the program's time stamp {pe.FILE_HEADER.TimeDateStamp} is not the commit's time, {args.time}")
    check(pe.OPTIONAL_HEADER.Subsystem == WINDOWS_GUI, f"subsystem {pe.OPTIONAL_HEADER.Subsystem}, not a GUI program")
    if not check(hasattr(pe, "VS_FIXEDFILEINFO"), "the packaged program has no version resource"):
        return
    parts = [int(part) for part in args.version.split(".")] + [0, 0, 0]
    major, minor, patch, tweak = parts[:4]
    fixed = pe.VS_FIXEDFILEINFO[0]
    check((fixed.FileVersionMS, fixed.FileVersionLS) == ((major << 16) | minor, (patch << 16) | tweak),
          f"the version resource's file version is not {args.version}")
    strings = {}
    for info in getattr(pe, "FileInfo", [[]])[0]:
        for table in getattr(info, "StringTable", []):
            strings.update({key.decode(): value.decode() for key, value in table.entries.items()})
    check(strings.get("OriginalFilename") == "DedicatedServerStarter.exe",
          f"OriginalFilename is {strings.get('OriginalFilename')!r}")
    check(strings.get("ProductVersion", "").startswith(f"{major}."),
          f"ProductVersion is {strings.get('ProductVersion')!r}, not version {major}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("system", choices=["linux", "windows"])
    parser.add_argument("--cpack")
    parser.add_argument("--config", help="the build's CPackConfig.cmake")
    parser.add_argument("--archive", help="a package made elsewhere, checked instead of running cpack")
    parser.add_argument("--name", required=True, help="the package's file name without its extension")
    parser.add_argument("--version", required=True, help="the project's version, as in project(VERSION)")
    parser.add_argument("--source", required=True, help="the source folder, a git checkout")
    parser.add_argument("--xbench", help="bench/xbench, which starts the launcher and waits for its window")
    parser.add_argument("--machine", choices=sorted(MACHINES))
    parser.add_argument("--newest-glibc", help="the newest glibc symbol version the Linux launcher may ask for")
    parser.add_argument("--root", help="a Debian root to start the Linux launcher in and launch from")
    args = parser.parse_args()
    if not args.archive and not (args.cpack and args.config):
        parser.error("give --archive, or --cpack and --config")
    args.time = build_time(args.source)
    check(args.version in args.name, f"the package name {args.name} does not carry the version {args.version}")
    folder = tempfile.mkdtemp(prefix="dss-package-")
    try:
        if args.system == "linux":
            check_linux(args, folder)
        else:
            check_windows(args, folder)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    for failure in failures:
        print("FAIL:", failure)
    print("all checks passed" if not failures else f"{len(failures)} checks failed")
    return 1 if failures else 0

if __name__ == "__main__":
    sys.exit(main())
