#!/usr/bin/env bash
# Builds the Linux and the Windows program and runs every test: Linux
# natively, Windows under Wine. Installs what it needs on Debian 12.
set -euo pipefail
cd "$(dirname "$0")"
. tools/setup.sh
. tools/i386_via_qemu.sh
. tools/debian11.sh

# Windows tests run under Wine, on the 32-bit program where 32-bit programs
# run here, natively or through QEMU (which dss_prepare_32bit sets up where it
# can). Elsewhere the same sources built for 64-bit Windows run the tests
# instead; the 32-bit program is built in every case. Not both: the 64-bit
# build is only a stand-in, and its tests would add some 95 s to every run.
dss_prepare_32bit
windows_tests=windows-x64
windows_packages=""
wine32=OFF
if [ "$DSS_32BIT" != none ]; then
    windows_tests=windows-x86
    windows_packages="wine wine32:i386"
    wine32=ON
fi

# shellcheck disable=SC2086
dss_require_packages $DSS_PACKAGES_LINUX $DSS_PACKAGES_WINDOWS $windows_packages \
    $DSS_PACKAGES_GUI_TESTS $DSS_PACKAGES_RESOURCE_TESTS

# The Linux package as users get it: built in Debian 11, and tested there
# by the packaging-debian11 test of the linux build.
debian11=(-DDSS_DEBIAN11_ROOT=)
if dss_debian11_root; then
    say "== Building the Linux package in Debian 11"
    dss_debian11_package build/debian11
    debian11=("-DDSS_DEBIAN11_ROOT=$DSS_DEBIAN11_ROOT" "-DDSS_DEBIAN11_GLIBC=$DSS_DEBIAN11_GLIBC")
else
    say "== $DSS_DEBIAN11_WHY_NOT: the Linux package is not tested in Debian 11"
fi

presets=(linux windows-x86)
[ "$windows_tests" = windows-x86 ] || presets+=("$windows_tests")
for preset in "${presets[@]}"; do
    say "== Building $preset"
    options=()
    [ "$preset" != windows-x86 ] || options=(-DDSS_WINE_TESTS=$wine32)
    [ "$preset" != linux ] || options=("-DDSS_WINE_32BIT=$wine32" "${debian11[@]}")
    cmake --preset "$preset" "${options[@]}" >/dev/null
    cmake --build --preset "$preset"
done
[ "$windows_tests" = windows-x86 ] || say "== $DSS_32BIT_WHY_NOT: the Windows tests run on the 64-bit build"

# The build users make without the presets: CMake's own Release flags (-O3),
# where the compiler warns of other things. Warnings are errors here as in
# every build of this script; users get them as warnings.
say "== Building a plain Release"
cmake -S . -B build/plain-release -DCMAKE_BUILD_TYPE=Release -DDSS_TESTS=OFF -DDSS_WERROR=ON >/dev/null
cmake --build build/plain-release -j 2

# One CTest run over every build, so the summary at the end covers them all.
mkdir -p build/all
for preset in "${presets[@]}"; do
    echo "subdirs(\"$PWD/build/$preset\")"
done >build/all/CTestTestfile.cmake
exec ctest --test-dir build/all --output-on-failure --timeout 600
