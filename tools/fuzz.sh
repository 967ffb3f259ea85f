#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each for a bounded
# time, both at once (one core each). Fails when a target finds a crash,
# leaves the crashing input in build-fuzz/artifacts/ and prints how to
# replay it. The corpus found so far is kept in build-fuzz/corpus/ and
# grows from run to run; the seeds are written fresh every time.
#   tools/fuzz.sh [SECONDS]       SECONDS per target, 60 by default
# Loopback ports used: 31100-31199.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SECONDS_EACH="${1:-60}"
BUILD="$ROOT/build-fuzz"
TARGETS=(server client)

echo "=== fuzzing (${SECONDS_EACH} s per target) ==="
cmake -S "$ROOT/fuzz" -B "$BUILD" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j 2

rm -rf "$BUILD/seeds"
"$BUILD/vexil-fuzz-seeds" "$BUILD/seeds/server" "$BUILD/seeds/client"
mkdir -p "$BUILD/artifacts" "$BUILD/logs"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:symbolize=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

pids=()
for target in "${TARGETS[@]}"; do
    mkdir -p "$BUILD/corpus/$target"
    "$BUILD/vexil-fuzz-$target" \
        -max_total_time="$SECONDS_EACH" -max_len=4096 -timeout=30 -rss_limit_mb=2560 \
        -dict="$ROOT/fuzz/$target.dict" -print_final_stats=1 \
        -artifact_prefix="$BUILD/artifacts/$target-" \
        "$BUILD/corpus/$target" "$BUILD/seeds/$target" >"$BUILD/logs/$target.log" 2>&1 &
    pids+=($!)
done

status=0
for i in "${!TARGETS[@]}"; do
    target="${TARGETS[$i]}"
    log="$BUILD/logs/$target.log"
    if wait "${pids[$i]}"; then
        runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
        rate="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")"
        cov="$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | sed -E 's/.*cov: ([0-9]+) ft: ([0-9]+) corp: ([^ ]+).*/\1 edges, \2 features, corpus \3/' || true)"
        echo "fuzz $target: ${runs:-?} runs in ${SECONDS_EACH} s (${rate:-?}/s), ${cov:-coverage unknown}, no crash"
    else
        status=1
        echo "fuzz $target: FAILED (log: $log)" >&2
        grep -E 'ERROR|SUMMARY|runtime error|vexil-fuzz|Test unit written' "$log" | head -20 >&2 || true
        echo "replay with: $BUILD/vexil-fuzz-$target <the input written above>" >&2
    fi
done
exit $status
