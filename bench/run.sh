#!/usr/bin/env bash
# Builds the benchmark programs in release mode (build-bench/), runs them one
# after another and prints one table of every figure, with the machine it
# was measured on. Takes about three minutes; uses loopback ports 31000-31099
# (and 127.0.0.2 as a second loopback address). The discovery flood runs in
# a private network namespace of its own (it needs root to make one).
#   bench/run.sh
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build-bench"
PROGRAMS=(vexil-bench-startup vexil-bench-host vexil-bench-server vexil-bench-admission vexil-bench-attack
          vexil-bench-discovery)

cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXIL_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j 2 --target "${PROGRAMS[@]}" >/dev/null

ROWS="$(mktemp)"
trap 'rm -f "$ROWS"' EXIT
status=0
for program in "${PROGRAMS[@]}"; do
    echo "running $program ..." >&2
    if ! "$BUILD/bench/$program" | grep '^ROW|' >>"$ROWS"; then
        echo "$program failed" >&2
        status=1
    fi
done

cpu="$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo
echo "Machine: $(nproc) cores, ${cpu:-unknown CPU}, $(uname -sr)"
echo
echo "| Figure | Measured | Reference (same run) | Ratio | Target | Met |"
echo "|---|---|---|---|---|---|"
while IFS='|' read -r _ figure measured reference ratio target met; do
    echo "| $figure | $measured | $reference | $ratio | $target | $met |"
done <"$ROWS"
exit $status
