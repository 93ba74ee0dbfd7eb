# shellcheck shell=bash
# Tovinel: lets Wine's 32-bit programs run on an x86-64 kernel built or booted without IA-32
# emulation, through qemu-i386 in user mode. Sourced by tools/setup.sh, which calls
# wine_i386_emulation SOURCE on every run of `tools/setup.sh test` (SOURCE: the preload library's
# source, tests/wine/emulation/noreplace.c).
#
# Where the kernel runs 32-bit x86 code it does nothing. Otherwise, as root (or through sudo), it
# installs qemu-user-static, mounts binfmt_misc, registers qemu-i386-static for i386 ELF programs and
# builds the preload library without which every 32-bit Wine process costs about 45 s of CPU under
# qemu 7.2 (noreplace.c says why). Each step is skipped when already done. It returns nonzero, saying
# why, where it cannot; the Wine tests then skip with their own reason (tests/wine/wine_session.py).
# Nothing goes to /etc: the registration lasts until the next boot, and setup makes it again.

# Where the library goes: a fixed folder, since the registration it completes is the machine's, and
# every tree's Wine tests and demo (a worktree, the release's clean copy) need the same file; a folder
# under build/ would differ per tree and vanish with it while the registration stays. Wine's
# processes get LD_PRELOAD='/usr/local/lib/tovinel-wine/$LIB/libwine-noreplace.so': the dynamic
# linker reads $LIB as lib/i386-linux-gnu in a 32-bit process and lib/x86_64-linux-gnu in a 64-bit
# one, which loads an empty twin instead of printing that it cannot preload a 32-bit file.
WINE_I386_LIBRARY_ROOT=/usr/local/lib/tovinel-wine
WINE_I386_QEMU=/usr/bin/qemu-i386-static
WINE_I386_BINFMT=/proc/sys/fs/binfmt_misc
# i386 ELF executables, ET_EXEC and ET_DYN (e_type masked with 0xfe), any OS/ABI byte: the magic and
# mask Debian's qemu-user-static registers for its other architectures, with e_machine 3 (EM_386).
WINE_I386_MAGIC='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
WINE_I386_MASK='\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

wine_i386_say() {
    echo "setup: $*"
}

wine_i386_fail() {
    echo "setup: $*" >&2
}

# Says why and fails where a step that needs root cannot have it.
wine_i386_need_root() {
    [ "$(id -u)" -eq 0 ] || command -v sudo >/dev/null && return 0
    wine_i386_fail "this kernel runs no 32-bit x86 programs, and setting up qemu-i386 for them needs" \
        "root: run tools/setup.sh as root or install sudo"
    return 1
}

wine_i386_as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    else
        sudo "$@"
    fi
}

# The smallest i386 program that exits with 0: an ELF header, one PT_LOAD, then
# mov $1,%eax; xor %ebx,%ebx; int $0x80. It needs no compiler and no i386 library, and it runs
# wherever the kernel (or an interpreter registered for i386) runs 32-bit x86 programs.
wine_i386_write_probe() {
    printf '%b' \
        '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
        '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
        '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' \
        '\x00\x00\x00\x00' \
        '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' \
        '\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' \
        '\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$1"
    chmod +x "$1"
}

# The binfmt_misc entry for i386 ELF programs, if there is one: an enabled one first.
wine_i386_entry() {
    local entries
    [ -d "$WINE_I386_BINFMT" ] || return 0
    entries=$(grep -l -s -x 'magic 7f454c4601010100000000000000000002000300' "$WINE_I386_BINFMT"/*)
    [ -n "$entries" ] || return 0
    # shellcheck disable=SC2086
    { grep -l -x enabled $entries; echo "$entries"; } | head -n 1
}

# Whether ENTRY hands i386 programs to qemu-i386, enabled, with flags F (the kernel opens the
# interpreter at registration, so it works in every mount namespace and chroot) and P (argv[0] is
# kept, which qemu 7.2 reads from the kernel's AT_FLAGS).
wine_i386_entry_ready() {
    grep -qx enabled "$1" && grep -Eq '^interpreter .*(qemu-i386|i386-binfmt)' "$1" &&
        grep -q '^flags: .*F' "$1" && grep -q '^flags: .*P' "$1"
}

wine_i386_emulation() {
    local work status
    work=$(mktemp -d) || return 1
    wine_i386_set_up "$1" "$work"
    status=$?
    rm -rf "$work"
    return $status
}

# The steps, with WORK a scratch folder.
wine_i386_set_up() {
    local source=$1 work=$2
    local rc entry
    wine_i386_write_probe "$work/probe"
    "$work/probe" 2>/dev/null
    rc=$?
    entry=$(wine_i386_entry)
    if [ $rc -eq 0 ] && { [ -z "$entry" ] || ! grep -qx enabled "$entry"; }; then
        return 0    # the kernel runs 32-bit x86 programs itself
    fi
    if [ $rc -eq 0 ] && ! grep -Eq '^interpreter .*(qemu-i386|i386-binfmt)' "$entry"; then
        wine_i386_say "i386 programs are handed to $(sed -n 's/^interpreter //p' "$entry")" \
            "(binfmt_misc $(basename "$entry")), which is left as it is; the Wine tests run only" \
            "where the kernel or qemu-i386 runs them"
        return 0
    fi
    # bash reports ENOEXEC (Exec format error), a kernel without IA-32 emulation, as 126.
    if [ $rc -ne 0 ] && [ $rc -ne 126 ]; then
        wine_i386_fail "a tiny i386 program failed with status $rc, not for want of IA-32 emulation"
        return 1
    fi

    if [ ! -x "$WINE_I386_QEMU" ]; then
        wine_i386_need_root || return 1
        wine_i386_say "installing qemu-user-static: this kernel runs no 32-bit x86 programs"
        # Without recommends: binfmt-support would register every other architecture as well.
        wine_i386_as_root env DEBIAN_FRONTEND=noninteractive \
            apt-get install -y -q --no-install-recommends qemu-user-static >/dev/null ||
            { wine_i386_as_root apt-get update -q >/dev/null &&
              wine_i386_as_root env DEBIAN_FRONTEND=noninteractive \
                  apt-get install -y -q --no-install-recommends qemu-user-static >/dev/null; } ||
            { wine_i386_fail "apt-get could not install qemu-user-static"; return 1; }
    fi

    if [ ! -e "$WINE_I386_BINFMT/register" ]; then
        wine_i386_need_root || return 1
        wine_i386_as_root modprobe binfmt_misc 2>/dev/null
        if ! wine_i386_as_root mount -t binfmt_misc binfmt_misc "$WINE_I386_BINFMT" 2>"$work/error"; then
            wine_i386_fail "cannot mount binfmt_misc on $WINE_I386_BINFMT ($(head -n 1 "$work/error")): the kernel" \
                "lacks CONFIG_BINFMT_MISC, or this container may not mount it"
            return 1
        fi
        entry=$(wine_i386_entry)
    fi
    if [ -z "$entry" ] || ! wine_i386_entry_ready "$entry"; then
        # An entry that does not run them (rc 126), or qemu's without F or P, makes way for this one.
        wine_i386_need_root || return 1
        if [ -n "$entry" ]; then
            echo -1 | wine_i386_as_root tee "$entry" >/dev/null
        fi
        if ! printf '%s' ":qemu-i386:M::$WINE_I386_MAGIC:$WINE_I386_MASK:$WINE_I386_QEMU:FP" |
                wine_i386_as_root tee "$WINE_I386_BINFMT/register" >/dev/null 2>"$work/error"; then
            wine_i386_fail "binfmt_misc refused the i386 entry: $(cat "$work/error")"
            return 1
        fi
        wine_i386_say "32-bit x86 programs now run through $WINE_I386_QEMU (binfmt_misc qemu-i386)"
    fi

    # The library and its empty twin, installed only when they differ from what is there.
    local library=$WINE_I386_LIBRARY_ROOT/lib/i386-linux-gnu/libwine-noreplace.so
    local twin=$WINE_I386_LIBRARY_ROOT/lib/x86_64-linux-gnu/libwine-noreplace.so
    if ! command -v gcc >/dev/null ||
        ! gcc -m32 -O2 -fPIC -nostdlib -shared -Wl,-soname,libwine-noreplace.so \
            -o "$work/library.so" "$source" ||
        ! gcc -m64 -O2 -fPIC -nostdlib -shared -Wl,-soname,libwine-noreplace.so \
            -o "$work/twin.so" -x c /dev/null; then
        wine_i386_fail "gcc could not build the preload library from $source"
        return 1
    fi
    if ! cmp -s "$work/library.so" "$library" || ! cmp -s "$work/twin.so" "$twin"; then
        wine_i386_need_root || return 1
        if ! wine_i386_as_root install -D -m 644 "$work/library.so" "$library" ||
            ! wine_i386_as_root install -D -m 644 "$work/twin.so" "$twin"; then
            wine_i386_fail "cannot install the preload library in $WINE_I386_LIBRARY_ROOT"
            return 1
        fi
        wine_i386_say "installed the preload library for Wine's 32-bit processes under qemu: $library"
    fi

    if ! "$work/probe"; then
        wine_i386_fail "a tiny i386 program still does not run through $WINE_I386_QEMU"
        return 1
    fi
    wine_i386_say "32-bit x86 programs run through qemu-i386 here: the Wine tests take several times" \
        "as long as where the kernel runs them"
}
