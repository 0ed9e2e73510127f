#!/usr/bin/env bash
# Installs what building, running and testing Skelvane needs on Debian 12.
# Does nothing when everything is already there.
set -euo pipefail

packages=(cmake g++ make pkg-config qt6-base-dev libgtest-dev libgmock-dev python3 xvfb xauth)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
