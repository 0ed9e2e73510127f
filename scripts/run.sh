#!/usr/bin/env bash
# Installs what building and running Skelvane needs (nothing for the tests,
# no change to the apt sources or architectures), builds the program, the
# plug-in, the sandbox service and the scripted client, and starts the
# program with the given arguments. Without a display it runs headless (Qt's
# offscreen platform).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build-program.sh run
exec build/bin/skelvane "$@"
