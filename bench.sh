#!/usr/bin/env bash
# Measures the launcher against the toolkit's own floor and prints one
# Markdown table: start-up to the window being mapped and peak memory on
# Linux (GTK 3), the time a Launch click takes to start the server, and on
# Windows the program's size, the DLLs it imports and its start-up under
# Wine. Installs what it needs on Debian 12; see bench/ for the programs.
#
#     ./bench.sh [--profile]
#
# --profile also counts instructions up to the map (valgrind's callgrind)
# and system calls (strace -c) for the floor, for gtk-controls (the
# launcher's controls in plain GTK) and for the launcher, and times the
# Win32 floor with the launcher's manifest under Wine.
#
# Environment: DSS_BENCH_PAIRS (start-up pairs on Linux, default 20),
# DSS_BENCH_WINE_PAIRS (under Wine, default 10), DSS_BENCH_LAUNCHES
# (default 20), DSS_BENCH_BUILD (build folders, default build/bench).
set -euo pipefail
cd "$(dirname "$0")"
. tools/setup.sh
. tools/i386_via_qemu.sh

profile=false
case "${1:-}" in
"") ;;
--profile) profile=true ;;
*) die "usage: $0 [--profile]" ;;
esac

pairs=${DSS_BENCH_PAIRS:-20}
wine_pairs=${DSS_BENCH_WINE_PAIRS:-10}
launches=${DSS_BENCH_LAUNCHES:-20}
build=$(realpath -m "${DSS_BENCH_BUILD:-build/bench}")
[ "$pairs" -ge 20 ] || die "DSS_BENCH_PAIRS: at least 20 pairs"

extra_packages="xvfb xdotool openbox dbus-x11 at-spi2-core x11-utils"
! $profile || extra_packages+=" strace valgrind"
! dss_runs_32bit_natively || extra_packages+=" wine wine32:i386"
# shellcheck disable=SC2086
dss_require_packages $DSS_PACKAGES_LINUX $DSS_PACKAGES_WINDOWS $extra_packages

# Release builds, without tests, in folders of their own. The Windows size
# is the 32-bit product's; where this kernel cannot run 32-bit programs,
# Wine cannot either, and start-up under Wine is measured on the 64-bit
# build of the same sources. So it is where QEMU runs them (test.sh may have
# set that up): emulated times are not the program's.
linux=$build/linux-release
w86=$build/windows-x86
w64=$build/windows-x64
say "== Building (in $build)"
cmake --preset linux-release -B "$linux" -DDSS_BENCH=ON >/dev/null
cmake --build "$linux" -j2 --target dedicated-server-starter gtk-floor gtk-controls xbench spawn-probe stamp-probe >/dev/null
cmake --preset windows-x86 -B "$w86" -DDSS_TESTS=OFF -DDSS_BENCH=ON >/dev/null
cmake --build "$w86" -j2 --target DedicatedServerStarter win32-floor win32-floor-manifest >/dev/null
wine_bits=32
wine_build=$w86
if ! dss_runs_32bit_natively; then
    wine_bits=64
    wine_build=$w64
    cmake --preset windows-x64 -B "$w64" -DDSS_TESTS=OFF -DDSS_BENCH=ON >/dev/null
    cmake --build "$w64" -j2 --target DedicatedServerStarter win32-floor win32-floor-manifest >/dev/null
fi

work=$(mktemp -d /tmp/dss-bench.XXXXXX)
# The desktop's programs carry this in their environment, and so do the
# helpers they start themselves (the accessibility registry): that is how
# the clean-up finds them all, and nothing else.
marker=DSS_BENCH_DESKTOP=$work
desktop_pids() {
    grep -lzxF "$marker" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3 || true
}
cleanup() {
    [ -z "${WINEPREFIX:-}" ] || wineserver_cmd -k 2>/dev/null || true
    local pids
    pids=$(desktop_pids)
    # shellcheck disable=SC2086
    [ -z "$pids" ] || kill $pids 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'say "$(basename "$0"): failed at line $LINENO"' ERR

# A desktop of its own: Xvfb on a display number it picks (-displayfd), a
# D-Bus session with the accessibility bus that GTK programs connect to on
# a desktop, and openbox, so that windows are framed and mapped by a
# window manager as they would be. Launcher and floor get the same one.
for name in HOME XDG_RUNTIME_DIR XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME; do
    mkdir -m 700 "$work/$name"
    export "$name=$work/$name"
done
export GSETTINGS_BACKEND=memory
unset WAYLAND_DISPLAY NO_AT_BRIDGE GTK_THEME GTK_MODULES DBUS_SESSION_BUS_ADDRESS

start() { env "$marker" "$@" </dev/null >>"$work/desktop.log" 2>&1 & }
# Starts a program that writes one line to descriptor 3 when ready; prints it.
start_and_read() {
    local fifo=$work/ready.fifo line
    mkfifo "$fifo"
    env "$marker" "$@" 3>"$fifo" </dev/null >>"$work/desktop.log" 2>&1 &
    read -r -t 30 line <"$fifo" || die "$1 did not start (see $work/desktop.log)"
    rm -f "$fifo"
    printf '%s\n' "$line"
}
DISPLAY=$(env "$marker" python3 tools/x_display.py 1024x768x24 "$work/desktop.log") ||
    die "Xvfb did not start (see $work/desktop.log)"
export DISPLAY
DBUS_SESSION_BUS_ADDRESS=$(start_and_read dbus-daemon --session --nofork --nopidfile --print-address=3)
export DBUS_SESSION_BUS_ADDRESS
start /usr/libexec/at-spi-bus-launcher --launch-immediately
start openbox --sm-disable
root_has() { xprop -root "$1" 2>/dev/null | grep -qv -e 'not found' -e 'no such atom'; }
for _ in $(seq 200); do
    root_has _NET_SUPPORTING_WM_CHECK && root_has AT_SPI_BUS && break
    sleep 0.05
done
root_has _NET_SUPPORTING_WM_CHECK || die "openbox did not start (see $work/desktop.log)"

# The launcher in a game folder whose Quarnvale.exe is the stand-in server,
# so that Launch starts it as it stands.
game=$work/game
mkdir "$game"
cp "$linux/bin/dedicated-server-starter" "$game/"
cp "$linux/bin/stamp-probe" "$game/Quarnvale.exe"
launcher=$game/dedicated-server-starter
floor=$linux/bin/gtk-floor
xbench=$linux/bin/xbench
cd "$game"

value() { sed -n "s/.*\\b$1=\\([^ ]*\\).*/\\1/p"; }
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# Median of the ratios of two files' lines, pair by pair.
median_ratio() { paste "$1" "$2" | awk '{ print $1 / $2 }' | median; }
fmt() { awk -v v="$1" -v f="$2" 'BEGIN { printf f, v }'; }
ms() { fmt "$1" "%.1f ms"; }
mib() { fmt "$(awk -v k="$1" 'BEGIN { print k / 1024 }')" "%.1f MiB"; }
kib() { fmt "$(awk -v b="$1" 'BEGIN { print b / 1024 }')" "%.1f KiB"; }
meets() { awk -v v="$1" -v goal="$2" 'BEGIN { print (v <= goal ? "yes" : "**no**") }'; }

# One start of each, A then B, per pair, after one unmeasured start of each
# that fills the caches. The peak RSS is read 300 ms after the map, once the
# first frame has been drawn.
say "== Linux start-up and memory: $pairs pairs"
run_pairs() { # name-a name-b command-a command-b (each one word)
    "$xbench" start -- "$3" >/dev/null
    "$xbench" start -- "$4" >/dev/null
    for _ in $(seq "$pairs"); do
        "$xbench" start --rss --settle 300 -- "$3" >>"$work/$1.runs"
        "$xbench" start --rss --settle 300 -- "$4" >>"$work/$2.runs"
    done
}
run_pairs launcher floor "$launcher" "$floor"
for name in launcher floor; do
    value map_ms <"$work/$name.runs" >"$work/$name.map"
    value hwm_kb <"$work/$name.runs" >"$work/$name.hwm"
done
map_a=$(median <"$work/launcher.map")
map_b=$(median <"$work/floor.map")
map_ratio=$(median_ratio "$work/launcher.map" "$work/floor.map")
hwm_a=$(median <"$work/launcher.hwm")
hwm_b=$(median <"$work/floor.hwm")
hwm_ratio=$(awk -v a="$hwm_a" -v b="$hwm_b" 'BEGIN { print a / b }')

# The click goes to the middle of the Launch button: 156, 96 in the client
# area at 96 dpi (Command1 in window/layout.hpp: 120, 1200, 4455 x 495 twips).
say "== Launch: $launches clicks, $launches bare starts"
for _ in $(seq "$launches"); do
    "$xbench" launch --click 156 96 --settle 300 --stamp "$work/stamp" -- "$launcher" >>"$work/launch.runs"
done
"$linux/bin/spawn-probe" "$game/Quarnvale.exe" "$work/stamp" "$launches" >"$work/spawn.runs"
click_probe=$(value to_probe_ms <"$work/launch.runs" | median)
click_exit=$(value to_exit_ms <"$work/launch.runs" | median)
spawn_probe=$(value to_probe_ms <"$work/spawn.runs" | median)
spawn_return=$(value spawn_returned_ms <"$work/spawn.runs" | median)

say "== Windows: size, imports, start-up under Wine ($wine_bits-bit): $wine_pairs pairs"
stripped_size() {
    i686-w64-mingw32-strip -o "$work/stripped.exe" "$1"
    stat -c %s "$work/stripped.exe"
}
imports() { i686-w64-mingw32-objdump -p "$1" | awk '/DLL Name:/ { print $3 }' | sort -f | paste -sd, | sed 's/,/, /g'; }
size_a=$(stripped_size "$w86/bin/DedicatedServerStarter.exe")
size_b=$(stripped_size "$w86/bin/win32-floor.exe")
imports_a=$(imports "$w86/bin/DedicatedServerStarter.exe")
imports_b=$(imports "$w86/bin/win32-floor.exe")

wine=$(command -v /usr/lib/wine/wine64 wine64 wine | head -n 1)
wineserver_cmd() { "$(command -v /usr/lib/wine/wineserver wineserver | head -n 1)" "$@"; }
# A prefix of its own, kept between runs; Mono and Gecko are not wanted.
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ "$wine_bits" = 64 ] || wine=$(command -v wine)
# Kept running, so that every start finds Wine's services already up; one
# that already runs for this prefix refuses, and serves as well.
mkdir -p "$WINEPREFIX"
wineserver_cmd -p 2>/dev/null || true
"$wine" wineboot --init >>"$work/desktop.log" 2>&1
cp "$wine_build/bin/DedicatedServerStarter.exe" "$wine_build/bin/win32-floor.exe" "$wine_build/bin/win32-floor-manifest.exe" "$game/"
wine_runs() { # name exe
    "$xbench" start --settle 300 -- "$wine" "$game/$2" >>"$work/$1.wine"
}
wine_runs wlauncher DedicatedServerStarter.exe
wine_runs wfloor win32-floor.exe
: >"$work/wlauncher.wine"
: >"$work/wfloor.wine"
for _ in $(seq "$wine_pairs"); do
    wine_runs wlauncher DedicatedServerStarter.exe
    wine_runs wfloor win32-floor.exe
done
value map_ms <"$work/wlauncher.wine" >"$work/wlauncher.map"
value map_ms <"$work/wfloor.wine" >"$work/wfloor.map"
wmap_a=$(median <"$work/wlauncher.map")
wmap_b=$(median <"$work/wfloor.map")
wmap_ratio=$(median_ratio "$work/wlauncher.map" "$work/wfloor.map")

# The Linux launcher with a Windows server: Wine's own hostname.exe, which
# ends at once, stands in for it. The launcher waits for Wine's start to
# answer; Wine's server keeps running between the clicks, as on a desktop.
say "== Launch of a Windows server through Wine: $launches clicks"
wgame=$work/wgame
mkdir "$wgame"
cp "$launcher" "$wgame/"
cp "$WINEPREFIX/drive_c/windows/system32/hostname.exe" "$wgame/Quarnvale.exe"
for _ in $(seq "$launches"); do
    WINE=$wine "$xbench" launch --click 156 96 --settle 300 -- "$wgame/dedicated-server-starter" >>"$work/wlaunch.runs"
done
wclick_exit=$(value to_exit_ms <"$work/wlaunch.runs" | median)

profile_table=""
if $profile; then
    say "== Profiles: instructions to the map (callgrind), system calls (strace -c)"
    # Kept for callgrind_annotate or KCachegrind.
    profiles=$build/profiles
    mkdir -p "$profiles"
    # Instructions until the window is mapped: the program is ended at the
    # map event, and callgrind writes its counts as it ends.
    instructions() {
        "$xbench" start --timeout 300 -- valgrind --tool=callgrind --callgrind-out-file="$profiles/$1.callgrind" "$2" \
            >/dev/null 2>"$profiles/$1.valgrind" || die "callgrind failed for $1 (see $profiles/$1.valgrind)"
        callgrind_annotate "$profiles/$1.callgrind" | awk '/PROGRAM TOTALS/ { gsub(",", "", $1); print $1 }'
    }
    system_calls() {
        "$xbench" start --settle 300 -- strace -c -f -o "$profiles/$1.strace" "$2" >/dev/null
        awk '$NF == "total" { print $4 }' "$profiles/$1.strace"
    }
    peak() {
        for _ in 1 2 3 4 5; do "$xbench" start --rss --settle 300 -- "$1"; done | value hwm_kb | median
    }
    profile_table+="| Program | Instructions to the map (ratio to the floor) | System calls, to 300 ms after the map | Peak RSS (median of 5) |"$'\n'
    profile_table+="|---|---|---|---|"$'\n'
    for name in floor controls launcher; do
        case $name in
        floor) command=$floor what="gtk-floor (one button)" ;;
        controls) command=$linux/bin/gtk-controls what="gtk-controls (the launcher's controls and font in plain GTK)" ;;
        launcher) command=$launcher what="the launcher" ;;
        esac
        count=$(instructions "$name" "$command")
        [ "$name" != floor ] || floor_count=$count
        profile_table+="| $what | $(fmt "$(awk -v c="$count" 'BEGIN { print c / 1e6 }')" "%.1f M") ($(fmt "$(awk -v c="$count" -v f="$floor_count" 'BEGIN { print c / f }')" %.3f)) | $(system_calls "$name" "$command") | $(mib "$(peak "$command")") |"$'\n'
    done
    # Under Wine, the Win32 floor with the launcher's manifest and without.
    : >"$work/wmanifest.wine"
    : >"$work/wfloor2.wine"
    for _ in $(seq "$wine_pairs"); do
        wine_runs wmanifest win32-floor-manifest.exe
        wine_runs wfloor2 win32-floor.exe
    done
    value map_ms <"$work/wmanifest.wine" >"$work/wmanifest.map"
    value map_ms <"$work/wfloor2.wine" >"$work/wfloor2.map"
    manifest_table="| Under Wine ($wine_bits-bit, median of $wine_pairs A/B pairs) | Start-up to window mapped |"$'\n'
    manifest_table+="|---|---|"$'\n'
    manifest_table+="| win32-floor-manifest (the floor with the launcher's manifest) | $(ms "$(median <"$work/wmanifest.map")") |"$'\n'
    manifest_table+="| win32-floor | $(ms "$(median <"$work/wfloor2.map")") |"$'\n'
    manifest_table+="| ratio (median of pairwise ratios) | $(fmt "$(median_ratio "$work/wmanifest.map" "$work/wfloor2.map")" %.3f) |"$'\n'
    say "   profiles kept in $profiles"
fi

cat <<EOF

Machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1), $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo) memory; Debian $(cat /etc/debian_version); GTK $(pkg-config --modversion gtk+-3.0); $("$wine" --version); load average at the end $(cut -d' ' -f1-3 /proc/loadavg).

| Measure | Launcher | Floor or baseline | Ratio or difference | Goal | Met |
|---|---|---|---|---|---|
| Start-up to window mapped, Linux (median of $pairs A/B pairs; ratio: median of pairwise ratios) | $(ms "$map_a") | $(ms "$map_b") (minimal GTK 3 program) | $(fmt "$map_ratio" %.3f) | ≤ 1.05 | $(meets "$map_ratio" 1.05) |
| Peak RSS (VmHWM) 300 ms after the map, Linux (median of $pairs) | $(mib "$hwm_a") | $(mib "$hwm_b") | $(fmt "$hwm_ratio" %.3f) | ≤ 1.05 | $(meets "$hwm_ratio" 1.05) |
| Launch: click (button release) to the server's first instruction, vs a bare posix_spawn to it (median of $launches) | $(ms "$click_probe") | $(ms "$spawn_probe") | +$(ms "$(awk -v a="$click_probe" -v b="$spawn_probe" 'BEGIN { print a - b }')") | — | — |
| Launch: click to the launcher's exit, vs posix_spawn returning (median of $launches) | $(ms "$click_exit") | $(ms "$spawn_return") | +$(ms "$(awk -v a="$click_exit" -v b="$spawn_return" 'BEGIN { print a - b }')") | — | — |
| Launch: click to the launcher's exit, a Windows server through Wine vs a Linux one (median of $launches) | $(ms "$wclick_exit") | $(ms "$click_exit") | +$(ms "$(awk -v a="$wclick_exit" -v b="$click_exit" 'BEGIN { print a - b }')") | — | — |
| Windows: stripped size of the 32-bit program | $(kib "$size_a") | $(kib "$size_b") (minimal Win32 program) | $(fmt "$(awk -v a="$size_a" -v b="$size_b" 'BEGIN { print a / b }')" %.2f) | — | — |
| Windows: DLLs imported (32-bit) | $imports_a | $imports_b | — | — | — |
| Start-up to window mapped under Wine, $wine_bits-bit builds (median of $wine_pairs A/B pairs) | $(ms "$wmap_a") | $(ms "$wmap_b") (minimal Win32 program) | $(fmt "$wmap_ratio" %.3f) | ≤ 1.05 | $(meets "$wmap_ratio" 1.05) |
EOF
[ -z "$profile_table" ] || printf '\n%s\n%s' "$profile_table" "$manifest_table"
