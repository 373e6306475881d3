# Sourced by package-linux.sh and test.sh after setup.sh. The Linux package
# is built in Debian 11 with Debian 11's own compiler, so that it asks for no
# newer glibc (2.31) than the oldest system it is meant for. The root that
# holds that system is made once with debootstrap and kept outside any
# checkout, for every clone and build on this machine.

DSS_DEBIAN11_ROOT=${DSS_DEBIAN11_ROOT:-/var/cache/dedicated-server-starter/debian11}
DSS_DEBIAN11_PACKAGES="g++ make pkg-config libgtk-3-dev cmake"
DSS_DEBIAN11_GLIBC=2.31
DSS_TOOLS=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# The Debian archive this machine's apt uses already.
dss_debian_mirror() {
    local mirror
    mirror=$({
        sed -n 's/^URIs:[[:space:]]*//p' /etc/apt/sources.list.d/*.sources 2>/dev/null | tr ' ' '\n'
        sed -n 's/^deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\?\([^[:space:]]\+\).*/\2/p' \
            /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null
    } | grep -m1 '/debian/\?$' || true)
    echo "${mirror:-http://deb.debian.org/debian}"
}

# True when the root is there with everything the build needs.
dss_debian11_ready() {
    [ -d "$DSS_DEBIAN11_ROOT" ] || return 1
    local installed
    # shellcheck disable=SC2086
    installed=$(dpkg-query --admindir="$DSS_DEBIAN11_ROOT/var/lib/dpkg" -W -f='${Status}\n' \
        $DSS_DEBIAN11_PACKAGES 2>/dev/null | grep -c 'install ok installed' || true)
    [ "$installed" -eq "$(wc -w <<<"$DSS_DEBIAN11_PACKAGES")" ]
}

# Logs go to files mktemp makes: a fixed name under /tmp is one another user
# can make a link of first, for root to write through.
dss_debian11_install() {
    DSS_DEBIAN11_LOG=$(mktemp /tmp/dss-debian11-apt.XXXXXX.log)
    "$DSS_TOOLS/debian11-run" "$1" -- DEBIAN_FRONTEND=noninteractive sh -c \
        "apt-get update -q && apt-get install -y -q --no-install-recommends $DSS_DEBIAN11_PACKAGES && apt-get clean" \
        >"$DSS_DEBIAN11_LOG" 2>&1
}

# Makes the Debian 11 root where it is missing, and installs what it lacks.
# Returns 1 where it cannot, with the reason in DSS_DEBIAN11_WHY_NOT.
dss_debian11_root() {
    DSS_DEBIAN11_WHY_NOT=""
    if [ "$(id -u)" -ne 0 ]; then
        DSS_DEBIAN11_WHY_NOT="Not root, so no Debian 11 root can be made or entered"
        return 1
    fi
    dss_debian11_ready && return 0
    dss_require_packages debootstrap
    local root=$DSS_DEBIAN11_ROOT lock
    mkdir -p "$(dirname "$root")"
    # One maker at a time; whoever waited finds the root made.
    exec {lock}>"$root.lock"
    flock "$lock"
    if [ ! -d "$root" ]; then
        local mirror
        mirror=$(dss_debian_mirror)
        say "== Making a Debian 11 root in $root from $mirror (once, for every checkout): the Linux package is built there to run on glibc $DSS_DEBIAN11_GLIBC and newer"
        rm -rf --one-file-system "$root.partial"
        # In a mount namespace of its own: mounts debootstrap leaves behind
        # when it fails vanish with it.
        local log
        log=$(mktemp /tmp/dss-debootstrap.XXXXXX.log)
        if ! unshare --mount --propagation private debootstrap --variant=minbase bullseye "$root.partial" "$mirror" \
            >"$log" 2>&1; then
            DSS_DEBIAN11_WHY_NOT="Could not make a Debian 11 root from $mirror (see $log)"
        elif ! dss_debian11_install "$root.partial"; then
            DSS_DEBIAN11_WHY_NOT="Could not install the build tools in the Debian 11 root (see $DSS_DEBIAN11_LOG)"
        else
            mv "$root.partial" "$root"
        fi
        [ -z "$DSS_DEBIAN11_WHY_NOT" ] || rm -rf --one-file-system "$root.partial"
    elif ! dss_debian11_ready; then
        say "== Installing $DSS_DEBIAN11_PACKAGES in the Debian 11 root $root"
        dss_debian11_install "$root" ||
            DSS_DEBIAN11_WHY_NOT="Could not install the build tools in the Debian 11 root (see $DSS_DEBIAN11_LOG)"
    fi
    exec {lock}>&-
    [ -z "$DSS_DEBIAN11_WHY_NOT" ]
}

# Builds the Linux package in the root, into the folder $1 of this checkout:
# the linux-release preset's settings, given as options, as Debian 11's
# CMake (3.18) reads no presets. Only the launcher is built: CPack then
# packages it without building everything else first.
dss_debian11_package() {
    local out=$1
    mkdir -p "$out"
    # The package's file dates come from the commit, as on the host.
    local epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || true)}
    "$DSS_TOOLS/debian11-run" "$DSS_DEBIAN11_ROOT" --bind "$PWD:/dss/source" --bind "$PWD/$out:/dss/build" -- \
        HOME=/root ${epoch:+SOURCE_DATE_EPOCH=$epoch} sh -ec '
            cmake -S /dss/source -B /dss/build -DCMAKE_BUILD_TYPE=Release -DDSS_TESTS=OFF -DDSS_WERROR=ON \
                "-DCMAKE_C_FLAGS_RELEASE=-O2 -DNDEBUG" "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
                -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
            cmake --build /dss/build -j 2 --target dedicated-server-starter
            cd /dss/build && cpack'
}
