#!/usr/bin/env bash
# Takes the README's screenshots on private X servers (Xvfb): Skelvane's main
# window and Dorrimel's options and log windows, into docs/screenshots/.
#
#   scripts/screenshots.sh            (BUILD_DIR, default build, holds the built programs)
#
# Needs the Debian packages xvfb, imagemagick and x11-utils
# (scripts/install-deps.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${BUILD_DIR:-build}"
BIN_DIR="$build_dir/bin" bash scripts/screenshot.sh docs/screenshots/main-window.png
BUILD_DIR="$build_dir" bash scripts/screenshot-plugin.sh docs/screenshots
