#!/usr/bin/env bash
# Builds the Windows programs with Debian's mingw-w64: skelvane.exe and its
# plug-in plugin.dll, statically linked, 32-bit (build-win32/bin) and 64-bit
# (build-win64/bin). Give 32 or 64 to build only one of them.
set -euo pipefail
cd "$(dirname "$0")/.."
bits=(32 64)
[ $# -eq 0 ] || bits=("$@")
for b in "${bits[@]}"; do
    case "$b" in
        32 | 64) ;;
        *) echo "usage: $0 [32] [64]" >&2; exit 2 ;;
    esac
    cmake --preset "win$b" >/dev/null
    cmake --build --preset "win$b" -j "$(nproc)" --target skelvane plugin
done
echo
for b in "${bits[@]}"; do
    echo "$b-bit Windows programs (copy both into one folder):"
    echo "  $PWD/build-win$b/bin/skelvane.exe"
    echo "  $PWD/build-win$b/bin/plugin.dll"
done
