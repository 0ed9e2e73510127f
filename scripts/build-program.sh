#!/usr/bin/env bash
# Installs what building and running needs (profile run, or demo: see
# install-deps.sh) and builds only what a user runs, in build/: the program,
# the plug-in, the sandbox service and the scripted client (build/bin).
#
#   scripts/build-program.sh [run|demo]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh "${1:-run}"
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target skelvane plugin oscar-sandbox oscar-client
