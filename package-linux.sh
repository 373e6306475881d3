#!/usr/bin/env bash
# Makes the Linux release package, build/debian11/dedicated-server-starter-
# <version>-linux-x86_64.tar.gz, so that it runs on any x86-64 Linux with
# glibc 2.31 or newer: it is built in a Debian 11 root (tools/debian11.sh)
# with Debian 11's own compiler and CMake. Where no such root can be had,
# it is built on this system by `cmake --workflow --preset package-linux`,
# into build/linux-release/, and runs only where glibc is as new as here.
set -euo pipefail
cd "$(dirname "$0")"
. tools/setup.sh
. tools/debian11.sh

if ! dss_debian11_root; then
    say "$DSS_DEBIAN11_WHY_NOT: building the package on this system, for $(getconf GNU_LIBC_VERSION) and newer"
    # shellcheck disable=SC2086
    dss_require_packages $DSS_PACKAGES_LINUX
    exec cmake --workflow --preset package-linux
fi
dss_debian11_package build/debian11
