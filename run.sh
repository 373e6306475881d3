#!/usr/bin/env bash
# Builds the Linux launcher and starts it. Installs what it needs on Debian 12.
set -euo pipefail
cd "$(dirname "$0")"
. tools/setup.sh

# shellcheck disable=SC2086
dss_require_packages $DSS_PACKAGES_LINUX
cmake --preset linux >/dev/null
cmake --build --preset linux --target dedicated-server-starter >/dev/null
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || die "no display to show the window on (set DISPLAY, or run it inside a desktop session)"
# The sanitizers of this build would list the toolkit's own allocations at exit.
ASAN_OPTIONS=detect_leaks=0 exec build/linux/bin/dedicated-server-starter
