#!/usr/bin/env bash
# Prepares Wine for the Windows programs and prints the prefix to use:
#   wine-setup.sh 32|64
# The prefix is fresh per user and display mode under /tmp (override with
# SKELVANE_WINEPREFIX). Without a display Wine's graphics driver is "null",
# so no X server is needed; with one, windows are not handed to a window
# manager (none runs under Xvfb, and managed windows stall on close).
# 32-bit programs need the kernel to run 32-bit x86 code; where it does not,
# qemu-i386 is registered with binfmt_misc (root only). Exit code 77 means
# the 32-bit side cannot run on this machine.
set -euo pipefail
bits="${1:-64}"
mode=null
[[ -n "${DISPLAY:-}" ]] && mode=x11
prefix="${SKELVANE_WINEPREFIX:-/tmp/skelvane-wine-$(id -u)-$mode}"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

loader32=/usr/lib/wine/wine
loader64=/usr/lib/wine/wine64

runs32() { "$loader32" --version >/dev/null 2>&1; }

register_qemu_i386() {
    local qemu
    qemu="$(command -v qemu-i386-static || true)"
    [[ -n "$qemu" && "$(id -u)" == 0 ]] || return 0
    if [[ ! -e /proc/sys/fs/binfmt_misc/register ]]; then
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || return 0
    fi
    [[ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]] && return 0
    # i386 ELF executables (and shared objects) go to qemu; F opens the
    # interpreter now, so it works in every mount namespace.
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
        >/proc/sys/fs/binfmt_misc/register 2>/dev/null || true
}

if [[ "$bits" == 32 ]]; then
    if ! runs32; then
        register_qemu_i386
        if ! runs32; then
            echo "wine-setup: this machine cannot run 32-bit Wine (no 32-bit x86 support and no qemu-i386 via binfmt_misc)" >&2
            exit 77
        fi
    fi
fi

mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
# A prefix made while this machine could not run 32-bit programs (a 64-bit
# run came first, before qemu-i386 was registered) lacks its 32-bit half:
# make it anew for a 32-bit program.
if [[ "$bits" == 32 && ! -e "$prefix/drive_c/windows/syswow64/kernel32.dll" ]]; then
    rm -f "$prefix/.skelvane-ready"
fi
if [[ ! -e "$prefix/.skelvane-ready" ]]; then
    rm -rf "$prefix"
    "$loader64" wineboot -i >/dev/null 2>&1 || "$loader64" wineboot -i >/dev/null 2>&1
    if [[ "$mode" == null ]]; then
        "$loader64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    else
        "$loader64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    fi
    # The registry is written when the server ends; the next start reads it.
    /usr/lib/wine/wineserver -w
    touch "$prefix/.skelvane-ready"
fi
echo "$prefix"
