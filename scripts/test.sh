#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: in the
# default build and in the sanitizer build (AddressSanitizer + UBSan). Then
# the end-to-end and fault tests of the real program once more under
# valgrind's memcheck, and every fuzz target for a bounded time
# (FUZZ_SECONDS each, default 60; scripts/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
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
