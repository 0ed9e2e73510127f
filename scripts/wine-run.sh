#!/usr/bin/env bash
# Runs a Windows program under Wine: wine-run.sh 32|64 program.exe [args...]
# Used as CMake's cross-compiling emulator for the Windows test programs.
# Exit code 77 (a skipped test) when the 32-bit side cannot run here.
set -euo pipefail
bits="$1"
shift
prefix="$(bash "$(dirname "$0")/wine-setup.sh" "$bits")"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [[ "$bits" == 32 ]]; then
    exec /usr/lib/wine/wine "$@"
fi
exec /usr/lib/wine/wine64 "$@"
