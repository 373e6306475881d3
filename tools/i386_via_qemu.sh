# Sourced by test.sh and bench.sh after setup.sh. 32-bit Wine needs a kernel
# that runs i386 programs. Where the kernel cannot ("IA-32 emulation" off),
# QEMU in user mode runs them instead: registered with binfmt_misc, it runs
# every i386 program on the machine, Wine's re-executions of its own loader
# included.
#
# DSS_FORCE_QEMU_I386=1 takes the QEMU path on a kernel that runs i386 itself:
# for testing, inside a user namespace with a binfmt_misc instance of its own.

DSS_BINFMT=/proc/sys/fs/binfmt_misc
DSS_I386_ENTRY=dss-i386
# The registration outlives any checkout or build folder, so its files do too.
DSS_I386_DIR=/usr/local/lib/dss-qemu-i386
DSS_I386_SHIM_FLAGS="-m32 -shared -fPIC -nostdlib -O2 -Wall -Wextra -Werror"

# Sets DSS_32BIT to "native", "qemu" (set up now or before) or "none"; for
# "none", DSS_32BIT_WHY_NOT says why in a few words.
dss_prepare_32bit() {
    DSS_32BIT=none
    DSS_32BIT_WHY_NOT=""
    if dss_i386_registered; then
        dss_i386_install
        DSS_32BIT=qemu
        say "== 32-bit programs run through qemu-i386-static here (binfmt_misc entry $DSS_I386_ENTRY)"
        return 0
    fi
    if [ -z "${DSS_FORCE_QEMU_I386:-}" ] && dss_can_run_32bit; then
        DSS_32BIT=native
        return 0
    fi
    # Before anything is downloaded: without a writable binfmt_misc (an
    # unprivileged container) QEMU could not be registered anyway.
    if ! DSS_32BIT_WHY_NOT=$(dss_binfmt_writable); then
        DSS_32BIT_WHY_NOT="This kernel cannot run 32-bit programs and $DSS_32BIT_WHY_NOT"
        return 0
    fi
    say "== This kernel cannot run 32-bit programs, which 32-bit Wine needs: registering qemu-i386-static in binfmt_misc (files in $DSS_I386_DIR) to run every i386 program on this machine"
    dss_i386_install
    [ ! -e "$DSS_BINFMT/$DSS_I386_ENTRY" ] || echo -1 >"$DSS_BINFMT/$DSS_I386_ENTRY"
    dss_i386_register
    if ! dss_can_run_32bit; then
        # Left in place, it would pass for a working one on the next run.
        echo -1 >"$DSS_BINFMT/$DSS_I386_ENTRY"
        DSS_32BIT_WHY_NOT="A 32-bit program does not run even through qemu-i386-static (its registration is removed again)"
        return 0
    fi
    DSS_32BIT=qemu
}

# True when 32-bit programs run here on the processor itself, not through QEMU.
dss_runs_32bit_natively() {
    ! dss_i386_registered && dss_can_run_32bit
}

# True when the entry is there, enabled and names our interpreter.
dss_i386_registered() {
    local entry=$DSS_BINFMT/$DSS_I386_ENTRY
    [ -r "$entry" ] && [ "$(head -n 1 "$entry")" = enabled ] &&
        grep -qx "interpreter $DSS_I386_DIR/interpreter" "$entry"
}

# Prints why a registration cannot be made here, and fails, if it cannot.
dss_binfmt_writable() {
    if [ ! -e "$DSS_BINFMT/register" ] && ! mount -t binfmt_misc binfmt_misc "$DSS_BINFMT" 2>/dev/null; then
        echo "binfmt_misc is not mounted and cannot be mounted"
        return 1
    fi
    if [ "$(cat "$DSS_BINFMT/status" 2>/dev/null)" != enabled ]; then
        echo "binfmt_misc is disabled"
        return 1
    fi
    # Enabling it again changes nothing but needs the rights a registration needs.
    if ! { echo 1 >"$DSS_BINFMT/status"; } 2>/dev/null; then
        echo "binfmt_misc cannot be written here (read-only, or not ours to change)"
        return 1
    fi
}

# Installs the packages, builds the library and writes the interpreter, each
# only when missing or changed. A changed interpreter is registered again:
# with the F flag the kernel keeps the file it opened at registration.
dss_i386_install() {
    # shellcheck disable=SC2086
    dss_require_packages $DSS_PACKAGES_I386_VIA_QEMU
    mkdir -p "$DSS_I386_DIR"
    local shim=$DSS_I386_DIR/mmap_noreplace.so source=tools/qemu_mmap_noreplace.c stamp
    stamp=$({ echo "$DSS_I386_SHIM_FLAGS"; cat "$source"; } | sha256sum)
    if [ ! -f "$shim" ] || [ "$(cat "$shim.sha256" 2>/dev/null)" != "$stamp" ]; then
        # shellcheck disable=SC2086
        gcc $DSS_I386_SHIM_FLAGS -o "$shim.new" "$source" /lib/i386-linux-gnu/libc.so.6 ||
            die "could not build $shim"
        mv -f "$shim.new" "$shim"
        echo "$stamp" >"$shim.sha256"
    fi
    local interpreter=$DSS_I386_DIR/interpreter text
    text=$(printf '#!/bin/sh\n# binfmt_misc interpreter for i386 programs, written by test.sh.\nexec /usr/bin/qemu-i386-static -E LD_PRELOAD=%s "$@"' "$shim")
    if [ "$(cat "$interpreter" 2>/dev/null)" != "$text" ]; then
        printf '%s\n' "$text" >"$interpreter.new"
        chmod 755 "$interpreter.new"
        mv -f "$interpreter.new" "$interpreter"
        if dss_i386_registered; then
            echo -1 >"$DSS_BINFMT/$DSS_I386_ENTRY"
            dss_i386_register
        fi
    fi
}

# Magic and mask: a 32-bit little-endian ELF of any OS/ABI, executable or
# shared object (type 2 or 3), for machine 3 (i386). F: the kernel opens the
# interpreter now, so it is found from any mount namespace or chroot.
dss_i386_register() {
    printf '%s' ":$DSS_I386_ENTRY:M::"'\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$DSS_I386_DIR/interpreter:F" \
        >"$DSS_BINFMT/register" || die "could not register $DSS_I386_ENTRY in binfmt_misc"
}
