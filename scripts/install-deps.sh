#!/usr/bin/env bash
# Installs what building, running and testing Skelvane needs on Debian 12.
# Does nothing when everything is already there.
set -euo pipefail

# tshark decodes the proxy's traffic in a test; xdotool, imagemagick and
# x11-utils click and photograph the windows under Xvfb; clang and its
# runtime build the fuzz targets; valgrind checks the program's memory use
# in the end-to-end and fault tests.
packages=(cmake g++ make pkg-config qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev python3 xvfb xauth
          tshark xdotool imagemagick x11-utils clang libclang-rt-14-dev valgrind)
# The Windows programs: the mingw-w64 cross compilers, GoogleTest's sources
# (built with them, from /usr/src/googletest) and Wine to test them.
packages+=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools googletest wine wine64)
# 32-bit Wine. Where the kernel cannot run 32-bit x86 code, it runs through
# qemu-i386 (scripts/wine-setup.sh); Debian 12's own qemu is far too slow
# for that, so it comes from backports.
packages32=(wine32:i386 libwine:i386)
codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")"
backports="$codename-backports"

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
qemu_from_backports() {
    installed qemu-user-static && dpkg-query -W -f='${Version}' qemu-user-static | grep -q "bpo"
}

missing=()
for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
done
missing32=()
for p in "${packages32[@]}"; do
    installed "$p" || missing32+=("$p")
done
if [ ${#missing[@]} -eq 0 ] && [ ${#missing32[@]} -eq 0 ] && qemu_from_backports; then
    exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    # tshark's package asks whether to let other users capture: it does not.
    echo "wireshark-common wireshark-common/install-setuid boolean false" | $sudo debconf-set-selections
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The 32-bit pieces may be out of reach (no i386 archive, no backports): the
# 32-bit Windows tests are then skipped, so a failure here is not fatal.
install_32bit() {
    echo "Installing the 32-bit Wine pieces: ${missing32[*]} qemu-user-static ($backports)"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386 || return 1
    fi
    if ! grep -rqs "$backports" /etc/apt/sources.list /etc/apt/sources.list.d/; then
        echo "deb http://deb.debian.org/debian $backports main" |
            $sudo tee /etc/apt/sources.list.d/backports.list >/dev/null || return 1
    fi
    $sudo apt-get update -qq || return 1
    if [ ${#missing32[@]} -gt 0 ]; then
        $sudo apt-get install -y -qq --no-install-recommends "${missing32[@]}" || return 1
    fi
    if ! qemu_from_backports; then
        $sudo apt-get install -y -qq --no-install-recommends -t "$backports" qemu-user-static || return 1
    fi
}
if [ ${#missing32[@]} -gt 0 ] || ! qemu_from_backports; then
    if ! install_32bit; then
        echo "install-deps: could not install 32-bit Wine (wine32:i386, libwine:i386) or qemu-user-static" \
             "from $backports; the 32-bit Windows tests will be skipped." >&2
    fi
fi
