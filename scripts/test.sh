#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: in the
# default build and in the sanitizer build (AddressSanitizer + UBSan).
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
