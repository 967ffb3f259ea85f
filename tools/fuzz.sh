#!/usr/bin/env bash
# Builds the fuzz targets (the server's and the client's wire, the recording reader) with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each for a bounded
# time, starting from the committed seeds (fuzz/seeds/) and the corpus
# found so far (build-fuzz/corpus/, grows from run to run). Fails when a
# target finds a crash, leaves the crashing input in build-fuzz/artifacts/
# and prints how to replay it. Prints runs, runs per second and coverage.
#   tools/fuzz.sh [SECONDS]         all targets at once (60 s by default)
#   tools/fuzz.sh --long SECONDS    one target after the other, each on both
#                                   cores (two workers) for SECONDS
# No sockets: the targets feed their bytes through memory connections.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
LONG=0
if [[ "${1:-}" == "--long" ]]; then LONG=1; shift; fi
SECONDS_EACH="${1:-60}"
BUILD="$ROOT/build-fuzz"
TARGETS=(server client replay)

echo "=== fuzzing (${SECONDS_EACH} s per target$([[ $LONG == 1 ]] && echo ', two workers each')) ==="
cmake -S "$ROOT/fuzz" -B "$BUILD" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j 2
mkdir -p "$BUILD/artifacts" "$BUILD/logs"
# The client target starts video from its working directory: a run folder
# at 320 x 240 x 16 (a frame fills half the bytes of 32), where the logs also go.
"$ROOT/tools/make-run-folder.sh" "$BUILD/logs"
printf 'xres, 320\nyres, 240\ndepth, 16\n' > "$BUILD/logs/config.cfg"

# A small quarantine and no fill of fresh allocations: each run allocates
# and frees its connection buffers, and the default settings make every
# one of them fresh pages; allocation stacks ten frames deep.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:symbolize=1:quarantine_size_mb=16:max_malloc_fill_size=0:malloc_context_size=10"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# Starts TARGET in the background; its log is build-fuzz/logs/TARGET.log.
start() {
    local target="$1" log="$BUILD/logs/$1.log"
    local workers=()
    if [[ $LONG == 1 ]]; then
        # Workers log to fuzz-N.log in the working directory.
        workers=(-jobs=2 -workers=2)
        rm -f "$BUILD"/logs/fuzz-*.log
    fi
    mkdir -p "$BUILD/corpus/$target"
    (cd "$BUILD/logs" && exec "$BUILD/vexil-fuzz-$target" "${workers[@]}" \
        -max_total_time="$SECONDS_EACH" -max_len=4096 -timeout=30 -rss_limit_mb=2560 \
        -dict="$ROOT/fuzz/$target.dict" -print_final_stats=1 \
        -artifact_prefix="$BUILD/artifacts/$target-" \
        "$BUILD/corpus/$target" "$ROOT/fuzz/seeds/$target") >"$log" 2>&1 &
    pid=$!
}

# Waits for TARGET (pid $2) and reports it; returns 1 on a crash.
report() {
    local target="$1" log="$BUILD/logs/$1.log"
    local all="$log"
    [[ $LONG == 1 ]] && all="$(ls "$BUILD"/logs/fuzz-*.log 2>/dev/null | tr '\n' ' ') $log"
    if wait "$2"; then
        # shellcheck disable=SC2086
        local runs rate cov
        runs="$(cat $all | sed -n 's/^stat::number_of_executed_units: *//p' | awk '{s+=$1} END {print s+0}')"
        rate="$(cat $all | sed -n 's/^stat::average_exec_per_sec: *//p' | awk '{s+=$1} END {print s+0}')"
        cov="$(cat $all | grep -E '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE)' | tail -1 |
               sed -E 's/.*cov: ([0-9]+) ft: ([0-9]+) corp: ([^ ]+).*/\1 edges, \2 features, corpus \3/' || true)"
        echo "fuzz $target: $runs runs in ${SECONDS_EACH} s ($rate runs/s), ${cov:-coverage unknown}, no crash"
    else
        echo "fuzz $target: FAILED (log: $all)" >&2
        # shellcheck disable=SC2086
        cat $all | grep -E 'ERROR|SUMMARY|runtime error|vexil-fuzz|Test unit written' | head -20 >&2 || true
        echo "replay with: $BUILD/vexil-fuzz-$target <the input written above>" >&2
        return 1
    fi
}

status=0
if [[ $LONG == 1 ]]; then
    for target in "${TARGETS[@]}"; do
        start "$target"
        report "$target" "$pid" || status=1
    done
else
    pids=()
    for target in "${TARGETS[@]}"; do start "$target"; pids+=("$pid"); done
    for i in "${!TARGETS[@]}"; do report "${TARGETS[$i]}" "${pids[$i]}" || status=1; done
fi
exit $status
