#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: in the
# default build and in the sanitizer build (AddressSanitizer + UBSan). Then
# the end-to-end and fault tests of the real program once more under
# valgrind's memcheck, and every fuzz target for a bounded time
# (FUZZ_SECONDS each, default 60; scripts/fuzz.sh). Last the 64-bit and
# 32-bit Windows programs: cross-built with mingw-w64 and tested under Wine
# (the 32-bit tests are skipped where 32-bit Wine cannot run).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test
jobs="$(nproc)"
for preset in default asan; do
    echo "=== $preset build ==="
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    echo "=== $preset tests ==="
    ctest --preset "$preset" -j "$jobs"
done
echo "=== end-to-end and fault tests under valgrind (memcheck) ==="
SKELVANE_VALGRIND=1 ctest --preset default -R '^(e2e|faults)_'
echo "=== fuzzing ==="
bash scripts/fuzz.sh

echo "=== Windows programs: builds and tests under Wine ==="
# Ends the Wine servers of the prefixes the tests used (scripts/wine-setup.sh),
# whatever the outcome.
stop_wine() {
    local mode prefix
    for mode in null x11; do
        prefix="${SKELVANE_WINEPREFIX:-/tmp/skelvane-wine-$(id -u)-$mode}"
        if [ -d "$prefix" ]; then
            WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
        fi
    done
}
trap stop_wine EXIT
for preset in win64 win32; do
    echo "=== $preset build ==="
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    echo "=== $preset tests (Wine) ==="
    ctest --preset "$preset" -j "$jobs"
done
