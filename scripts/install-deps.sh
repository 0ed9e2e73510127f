#!/usr/bin/env bash
# Installs the Debian 12 packages that Skelvane needs, by profile:
#
#   install-deps.sh run    building and running the program, the plug-in, the
#                          sandbox service and the scripted client
#   install-deps.sh demo   what run needs, and python3 for tools/demo.sh
#   install-deps.sh test   everything the tests need (the default): the test
#                          libraries, Xvfb, tshark, clang, valgrind, the
#                          mingw-w64 cross compilers and Wine, 32-bit Wine
#
# Does nothing when everything is there. It prints what is missing and one
# line per step; apt's own output goes to a log file under /tmp, whose end is
# printed when a step fails. Only the test profile changes the machine's apt
# configuration (the i386 architecture and a backports source, for 32-bit
# Wine), and it says so first.
set -euo pipefail

profile="${1:-test}"
case "$profile" in
    run | demo | test) ;;
    *) echo "usage: $0 [run|demo|test]" >&2; exit 2 ;;
esac

packages=(cmake g++ make pkg-config qt6-base-dev)
[ "$profile" = run ] || packages+=(python3)
if [ "$profile" = test ]; then
    # tshark decodes the proxy's traffic in a test; xdotool, imagemagick and
    # x11-utils click and photograph the windows under Xvfb; clang and its
    # runtime build the fuzz targets; valgrind checks the program's memory use
    # in the end-to-end and fault tests.
    packages+=(libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth tshark xdotool imagemagick x11-utils
               clang libclang-rt-14-dev valgrind)
    # The Windows programs: the mingw-w64 cross compilers, GoogleTest's sources
    # (built with them, from /usr/src/googletest), and Wine to test them.
    # Debian's Wine has no "MS Sans Serif", the main window's design face, in
    # a new prefix, so the window takes the narrow "DejaVu Sans Condensed",
    # in which its captions fit their labels (its layout test checks that):
    # fonts-dejavu-extra holds it.
    packages+=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools googletest wine wine64
               fonts-dejavu-extra)
fi
# 32-bit Wine. Where the kernel cannot run 32-bit x86 code, it runs through
# qemu-i386 (scripts/wine-setup.sh); Debian 12's own qemu is far too slow for
# that, so it comes from backports.
packages32=(wine32:i386 libwine:i386)
codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")"
backports="$codename-backports"

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
qemu_from_backports() {
    installed qemu-user-static && dpkg-query -W -f='${Version}' qemu-user-static | grep -q "bpo"
}
missing_of() {
    local p
    for p in "$@"; do
        installed "$p" || echo "$p"
    done
}

mapfile -t missing < <(missing_of "${packages[@]}")
missing32=()
if [ "$profile" = test ]; then
    mapfile -t missing32 < <(missing_of "${packages32[@]}")
fi
if [ ${#missing[@]} -eq 0 ] && [ ${#missing32[@]} -eq 0 ] && { [ "$profile" != test ] || qemu_from_backports; }; then
    exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
log="$(mktemp /tmp/skelvane-install-deps.XXXXXX.log)"
apt_get() { $sudo apt-get -y -o Dpkg::Use-Pty=0 "$@"; }
package_count() { dpkg-query -W -f='${Status}\n' | grep -c "install ok installed"; }

# step "what is done" command...: one line for the step; apt's output in the log.
step() {
    local what="$1"
    shift
    printf 'install-deps: %s ... ' "$what"
    if "$@" >>"$log" 2>&1; then
        echo "done"
        return 0
    fi
    echo failed
    echo "--- the end of $log:" >&2
    tail -n 25 "$log" >&2
    return 1
}

# install_packages WHAT [-t RELEASE] PACKAGE...: installs the packages
# (without recommendations) and reports how many came with them.
install_packages() {
    local what="$1" options=() before
    shift
    if [ "$1" = -t ]; then
        options=(-t "$2")
        shift 2
    fi
    before="$(package_count)"
    step "installing $what and what they need" apt_get install --no-install-recommends "${options[@]}" "$@" ||
        return 1
    echo "install-deps: new packages: $(($(package_count) - before)); apt's output is in $log"
}

if [ ${#missing[@]} -gt 0 ]; then
    echo "install-deps: missing for '$profile': ${missing[*]}"
    # tshark's package asks whether to let other users capture: it does not.
    echo "wireshark-common wireshark-common/install-setuid boolean false" | $sudo debconf-set-selections
    step "updating the package lists" apt_get update
    install_packages them "${missing[@]}"
fi
[ "$profile" = test ] || exit 0

# The Debian source of this machine for the release itself (not its updates,
# security or another vendor's archive), as apt reads it from the one-line
# and the deb822 source files: "URI SUITE".
debian_source() {
    apt-get indextargets --format '$(REPO_URI)|$(RELEASE)|$(ORIGIN)' 'Identifier: Packages' 2>/dev/null |
        awk -F'|' -v suite="$codename" '$2 == suite && $3 == "Debian" {sub(/\/$/, "", $1); print $1, $2; exit}'
}
has_backports() {
    apt-get indextargets --format '$(RELEASE)' 'Identifier: Packages' 2>/dev/null | grep -qx "$backports"
}

add_backports() {
    local source uri
    source="$(debian_source)"
    if [ -z "$source" ]; then
        echo "install-deps: no Debian source for '$codename' in the apt configuration to take" \
             "$backports from" >&2
        return 1
    fi
    uri="${source%% *}"
    local line="deb $uri $backports main"
    echo "install-deps: adding the apt source '$line' (the archive of the configured source '$source')" \
         "as /etc/apt/sources.list.d/$backports.list, for qemu-user-static: it runs 32-bit Wine where the" \
         "kernel cannot, and Debian's own is too slow for that"
    echo "$line" | $sudo tee "/etc/apt/sources.list.d/$backports.list" >/dev/null
}

# The 32-bit pieces may be out of reach (no i386 archive, no backports): the
# 32-bit Windows tests are then skipped, so a failure here is not fatal.
install_32bit() {
    local update=0
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        echo "install-deps: adding the i386 architecture to dpkg, for 32-bit Wine (wine32:i386, libwine:i386)"
        $sudo dpkg --add-architecture i386 || return 1
        update=1
    fi
    if ! qemu_from_backports && ! has_backports; then
        add_backports || return 1
        update=1
    fi
    if [ "$update" = 1 ]; then
        step "updating the package lists" apt_get update || return 1
    fi
    if [ ${#missing32[@]} -gt 0 ]; then
        install_packages "${missing32[*]}" "${missing32[@]}" || return 1
    fi
    if ! qemu_from_backports; then
        install_packages "qemu-user-static from $backports" -t "$backports" qemu-user-static || return 1
    fi
}
if [ ${#missing32[@]} -gt 0 ] || ! qemu_from_backports; then
    if ! install_32bit; then
        echo "install-deps: could not install 32-bit Wine (wine32:i386, libwine:i386) or qemu-user-static" \
             "from $backports; the 32-bit Windows tests will be skipped." >&2
    fi
fi
