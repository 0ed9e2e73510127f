#!/usr/bin/env bash
# Builds Skelvane for measuring (RelWithDebInfo, in build-bench unless
# SKELVANE_BENCH_BUILD names another folder) and runs every benchmark: the
# micro-benchmarks of the chat frame path and of Dorrimel's tracker, then the
# end-to-end bench of the running program. Extra arguments go to the
# end-to-end bench (for example --samples 500).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test
build="${SKELVANE_BENCH_BUILD:-build-bench}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSKELVANE_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target skelvane plugin frame_path_bench tracker_bench

echo "=== machine ==="
echo "nproc: $(nproc)"
echo "cpu: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "kernel: $(uname -srm)"

echo "=== frame path (with Dorrimel loaded) ==="
"$build/bench/frame_path_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
echo "=== Dorrimel tracker ==="
"$build/bench/tracker_bench"
echo "=== end to end ==="
python3 bench/e2e_bench.py --bin "$build/bin/skelvane" "$@"
