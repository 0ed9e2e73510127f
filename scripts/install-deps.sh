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

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# tshark's package asks whether to let other users capture: it does not.
echo "wireshark-common wireshark-common/install-setuid boolean false" | $sudo debconf-set-selections
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
