#!/usr/bin/env bash
# Builds the libFuzzer targets (cmake --preset fuzz: clang, AddressSanitizer
# and UBSan, no Qt) and runs each for a bounded time, starting from its seed
# corpus in tests/fuzz/corpus/<target>/ (absolute paths: the targets work in
# scratch folders of their own). Any finding (crash, sanitizer
# report, failed check, leak, time-out) fails the run; its input is kept in
# build-fuzz/findings/. Inputs found on the way collect in
# build-fuzz/corpus/<target>/ and are reused by the next run.
#
#   FUZZ_SECONDS   seconds per target (default 60)
#   FUZZ_TARGETS   the targets to run (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test

seconds="${FUZZ_SECONDS:-60}"
targets="${FUZZ_TARGETS:-frame_collector uin_capture redirect_rewrite plug_callback ini_load dorrimel_events dorrimel_settings}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

build="$PWD/build-fuzz"
mkdir -p "$build/findings"
summary="$build/fuzz-summary.txt"
: >"$summary"
failed=()
for target in $targets; do
    case "$target" in
        frame_collector | uin_capture | redirect_rewrite | plug_callback) max_len=70100 ;;
        *) max_len=8192 ;;
    esac
    work="$build/corpus/$target"
    mkdir -p "$work"
    log="$build/findings/$target.log"
    echo "=== fuzzing $target for $seconds s"
    status=0
    ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
        "$build/fuzz/$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/findings/$target-" \
        "$work" "$PWD/tests/fuzz/corpus/$target" >"$log" 2>&1 || status=$?
    runs="$(grep -a 'stat::number_of_executed_units' "$log" | awk '{print $2}' | tail -1 || true)"
    corpus="$(find "$work" -type f | wc -l)"
    printf '%-18s %12s executions, %5s corpus inputs, exit %s\n' "$target" "${runs:-?}" "$corpus" "$status" |
        tee -a "$summary"
    if [ "$status" -ne 0 ]; then
        failed+=("$target")
        tail -40 "$log"
    fi
done
if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzzing found problems in: ${failed[*]} (inputs in $build/findings/)"
    exit 1
fi
echo "fuzzing: no findings"
