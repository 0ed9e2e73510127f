#!/usr/bin/env bash
# Builds Skelvane for measuring (RelWithDebInfo, in build-bench unless
# SKELVANE_BENCH_BUILD names another folder) and runs every benchmark: the
# micro-benchmarks of the chat frame path and of Dorrimel's tracker, then the
# end-to-end bench of the running program beside a direct connection and a
# plain relay (Debian's socat, installed here when missing). Extra arguments
# go to the end-to-end bench (for example --samples 2000).
#
# SKELVANE_BENCH_WINE=64 (or 32) also builds the Windows programs (the win64
# or win32 preset) and runs the end-to-end bench's stall cases against
# skelvane.exe under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test
if ! command -v socat >/dev/null; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    log="$(mktemp /tmp/skelvane-bench-socat.XXXXXX.log)"
    printf 'bench: installing socat, the plain relay the end-to-end bench compares with ... '
    if { $sudo apt-get update && DEBIAN_FRONTEND=noninteractive $sudo apt-get -y -o Dpkg::Use-Pty=0 \
        install --no-install-recommends socat; } >>"$log" 2>&1; then
        echo done
    else
        echo "failed (apt's output is in $log); the bench uses its Python relay instead"
    fi
fi
build="${SKELVANE_BENCH_BUILD:-build-bench}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSKELVANE_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target skelvane plugin frame_path_bench tracker_bench timer_idle
wine="${SKELVANE_BENCH_WINE:-}"
if [ -n "$wine" ]; then
    cmake --preset "win$wine" >/dev/null
    cmake --build --preset "win$wine" -j "$(nproc)" --target skelvane plugin
fi

echo "=== machine ==="
echo "date: $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "nproc: $(nproc)"
echo "cpu: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "kernel: $(uname -srm)"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"

echo "=== frame path through the core (with Dorrimel loaded) ==="
"$build/bench/frame_path_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
echo "=== Dorrimel tracker ==="
"$build/bench/tracker_bench"
echo "=== end to end ==="
python3 bench/e2e_bench.py --bin "$build/bin/skelvane" "$@"
if [ -n "$wine" ]; then
    echo "=== end to end, stall cases, skelvane.exe under $wine-bit Wine ==="
    python3 bench/e2e_bench.py --wine "$wine" --bin "build-win$wine/bin/skelvane.exe" "$@"
fi
