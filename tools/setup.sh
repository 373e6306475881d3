# Shared by run.sh and test.sh: installs what the build and the tests need on
# Debian 12, quickly skipping what is present. Source it, then call the
# functions.

say() { printf '%s\n' "$*" >&2; }
die() { say "$(basename "$0"): $*"; exit 1; }

# Packages for each part of the work.
DSS_PACKAGES_LINUX="cmake make g++ pkg-config libgtk-3-dev googletest fonts-dejavu-core"
DSS_PACKAGES_WINDOWS="g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 wine fonts-wine"
DSS_PACKAGES_GUI_TESTS="xvfb xauth xdotool openbox weston dbus-x11 at-spi2-core python3 python3-pyatspi gir1.2-atspi-2.0 gir1.2-gtk-3.0 imagemagick x11-utils locales"
DSS_PACKAGES_RESOURCE_TESTS="python3-pefile icoutils desktop-file-utils libglib2.0-bin"
# Only where the kernel cannot run 32-bit programs (tools/i386_via_qemu.sh).
DSS_PACKAGES_I386_VIA_QEMU="qemu-user-static gcc libc6:i386"

# True when this kernel runs 32-bit x86 programs, which 32-bit Wine needs:
# a 93-byte i386 ELF that only calls exit(0).
dss_can_run_32bit() {
    local probe
    probe=$(mktemp) || return 1
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$probe"
    chmod +x "$probe"
    "$probe" 2>/dev/null
    local status=$?
    rm -f "$probe"
    return $status
}

# Installs the named packages that are missing (names may carry ":arch").
dss_require_packages() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    command -v apt-get >/dev/null || die "missing packages (${missing[*]}) and no apt-get to install them"
    [ "$(id -u)" -eq 0 ] || die "missing packages (${missing[*]}); run as root or install them with apt-get"
    if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    say "Installing ${missing[*]} ..."
    export DEBIAN_FRONTEND=noninteractive
    # A name of its own: a fixed name under /tmp is one another user can
    # make a link of first, for root to write through.
    local log
    log=$(mktemp /tmp/dss-apt.XXXXXX.log)
    { apt-get update -q && apt-get install -y -q --no-install-recommends "${missing[@]}"; } >"$log" 2>&1 ||
        die "could not install ${missing[*]} (see $log)"
    rm -f "$log"
}
