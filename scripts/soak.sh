#!/usr/bin/env bash
# The soak on its own: builds the default configuration, then relays
# SOAK_FRAMES frames each way (default 1,000,000) through one chat session of
# the real program, every byte checked at both ends, resident memory sampled,
# and runs the counters past the signed 32-bit limit. Prints the figures.
#
#   SOAK_FRAMES=10000000 bash scripts/soak.sh    # a ten times longer run
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
log=build/soak.log
status=0
SOAK_FRAMES="${SOAK_FRAMES:-1000000}" ctest --preset default -R '^(soak_chat|CounterLimitTest\.)' -V \
    >"$log" 2>&1 || status=$?
grep -E '^[0-9]+: soak:|tests passed|tests failed' "$log" || true
[ "$status" -eq 0 ] || tail -60 "$log"
exit "$status"
