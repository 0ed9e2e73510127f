#!/usr/bin/env bash
# Installs what is missing, builds Skelvane and starts it. Without a display
# the program runs headless (Qt's offscreen platform).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
exec build/bin/skelvane
