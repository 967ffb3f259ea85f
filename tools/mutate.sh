#!/usr/bin/env bash
# The mutation run: how many small, plausible faults the fast test suite
# notices. It copies the working tree to a scratch folder, configures and
# builds one plain build there once, then for each mutation of the list puts
# the fault into its file, rebuilds incrementally, runs the fast suite (no
# soak, no package test; the end-to-end tests as well for mutations marked
# e2e, those in drawing and input code), puts the file back and goes on.
# Prints each survivor and the share caught. A developer's tool: not part of
# the test command, and it never touches the tree it was started from.
#
#   tools/mutate.sh [-l LIST] [-k REGEX] [-d DIR] [-j JOBS] [-t SECONDS] [--check] [--keep]
#     -l LIST     mutation list (tools/mutations.txt)
#     -k REGEX    only the mutations whose label or file matches REGEX
#     -d DIR      scratch folder (a fresh one under /tmp by default); an
#                 existing build there is reused
#     -j JOBS     build jobs (2)
#     -t SECONDS  time limit of one mutation's test run (240)
#     --check     only check that every original text is found exactly once
#     --keep      leave the scratch folder behind
#
# List format: one mutation a line, four or five fields separated by TABs:
#   FILE  ORIGINAL  REPLACEMENT  LABEL  [e2e]
# ORIGINAL must occur exactly once in FILE; <NL> in ORIGINAL or REPLACEMENT
# stands for a line break (for a swapped pair of lines). Empty lines and
# lines starting with # are skipped.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
LIST="$ROOT/tools/mutations.txt"
FILTER=""
SCRATCH=""
JOBS=2
TESTLIMIT=240
CHECKONLY=0
KEEP=0
while (($#)); do
    case "$1" in
        -l) LIST="$(realpath "$2")"; shift 2 ;;
        -k) FILTER="$2"; shift 2 ;;
        -d) SCRATCH="$2"; shift 2 ;;
        -j) JOBS="$2"; shift 2 ;;
        -t) TESTLIMIT="$2"; shift 2 ;;
        --check) CHECKONLY=1; shift ;;
        --keep) KEEP=1; shift ;;
        -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        *) echo "mutate.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
[[ -f "$LIST" ]] || { echo "mutate.sh: no list $LIST" >&2; exit 2; }

# apply.py SRC FILE ORIGINAL REPLACEMENT: replaces the one occurrence, or
# says how many there were and fails.
APPLY='
import sys
src, name, old, new = sys.argv[1:5]
old, new = old.replace("<NL>", "\n"), new.replace("<NL>", "\n")
path = src + "/" + name
text = open(path, encoding="utf-8").read()
n = text.count(old)
if n != 1:
    sys.exit("%s: original text found %d times (must be once): %s" % (name, n, old[:80]))
if len(sys.argv) > 5:
    open(path, "w", encoding="utf-8").write(text.replace(old, new, 1))
'

# Reads the list into parallel arrays, checking every entry against the
# tree the tool was started from.
FILES=() OLDS=() NEWS=() LABELS=() E2E=()
bad=0
lineno=0
while IFS= read -r line || [[ -n "$line" ]]; do
    lineno=$((lineno + 1))
    [[ -z "${line//[[:space:]]/}" || "$line" == \#* ]] && continue
    mapfile -t f < <(printf '%s\n' "$line" | tr '\t' '\n')
    if ((${#f[@]} < 4 || ${#f[@]} > 5)) || [[ ${#f[@]} == 5 && "${f[4]}" != e2e ]]; then
        echo "mutate.sh: $LIST:$lineno: want FILE, ORIGINAL, REPLACEMENT, LABEL [, e2e] separated by tabs" >&2
        bad=1
        continue
    fi
    if ! python3 -c "$APPLY" "$ROOT" "${f[0]}" "${f[1]}" "${f[2]}"; then bad=1; continue; fi
    if [[ -n "$FILTER" ]] && ! [[ "${f[3]}" =~ $FILTER || "${f[0]}" =~ $FILTER ]]; then continue; fi
    FILES+=("${f[0]}") OLDS+=("${f[1]}") NEWS+=("${f[2]}") LABELS+=("${f[3]}") E2E+=("${f[4]:-}")
done <"$LIST"
((bad == 0)) || { echo "mutate.sh: the list does not match the tree" >&2; exit 2; }
TOTAL=${#FILES[@]}
echo "mutate.sh: ${TOTAL} mutations from $LIST"
((CHECKONLY == 0)) || exit 0
((TOTAL > 0)) || exit 2

if [[ -z "$SCRATCH" ]]; then
    SCRATCH="$(mktemp -d /tmp/vexil-mutate-XXXXXX)"
    ((KEEP)) || trap 'rm -rf "$SCRATCH"' EXIT
fi
mkdir -p "$SCRATCH/src"
SRC="$SCRATCH/src" BUILD="$SCRATCH/build" LOGS="$SCRATCH/logs"
mkdir -p "$LOGS"
# The working tree as it is (uncommitted changes included), without build
# folders and git data.
tar -C "$ROOT" --exclude=./.git --exclude='./build*' -cf - . | tar -C "$SRC" -xf -

START=$(date +%s)
echo "mutate.sh: building the unmutated tree in $BUILD"
cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$LOGS/configure.log" 2>&1 ||
    { cat "$LOGS/configure.log"; exit 1; }
ninja -C "$BUILD" -j "$JOBS" >"$LOGS/build.log" 2>&1 || { tail -40 "$LOGS/build.log"; exit 1; }

# Every test run gets a private network namespace with a loopback of its
# own: the loopback tests' ports never meet those of anything else running
# on the machine (another checkout's tests, a game).
unshare --net true 2>/dev/null || { echo "mutate.sh: cannot make a private network namespace (run as root)" >&2; exit 1; }
isolated() { unshare --net -- bash -c 'ip link set lo up && exec "$@"' mutate.sh "$@"; }
FAST=(-LE 'soak|nosan|e2e' -E '^(soak|package)$')
CTEST=(timeout -k 10 "$TESTLIMIT" ctest --test-dir "$BUILD" -j "$JOBS" --timeout 120)
# run_tests LOG [e2e]: 0 when every test passed. A failure counts only when
# the failed tests fail again on their own: a test that fails once under
# load and then passes is not taken as having caught anything.
run_tests() {
    local log="$1" labels=("${FAST[@]}")
    for pass in fast e2e; do
        [[ $pass == fast || "${2:-}" == e2e ]] || continue
        [[ $pass == fast ]] || labels=(-L e2e)
        isolated "${CTEST[@]}" --stop-on-failure "${labels[@]}" >>"$log" 2>&1 && continue
        echo "--- the failed tests once more" >>"$log"
        if isolated "${CTEST[@]}" --rerun-failed >>"$log" 2>&1; then
            echo "mutate.sh: FLAKY: the failed tests passed on their own" >>"$log"
            continue
        fi
        return 1
    done
    return 0
}
echo "mutate.sh: the unmutated suite"
run_tests "$LOGS/baseline.log" e2e || { tail -30 "$LOGS/baseline.log"; echo "mutate.sh: the suite fails without mutations" >&2; exit 1; }
echo "mutate.sh: setup took $(($(date +%s) - START)) s"

CAUGHT=0 SURVIVED=() BROKEN=()
for ((i = 0; i < TOTAL; i++)); do
    n=$((i + 1)) file="${FILES[i]}" label="${LABELS[i]}" log="$LOGS/mutation-$n.log"
    cp -p "$SRC/$file" "$SCRATCH/original"
    python3 -c "$APPLY" "$SRC" "$file" "${OLDS[i]}" "${NEWS[i]}" write
    t0=$(date +%s)
    if ! ninja -C "$BUILD" -j "$JOBS" >"$log" 2>&1; then
        if grep -q 'error:' "$log"; then
            verdict="DOES NOT BUILD"
            BROKEN+=("$n $file: $label")
        else
            verdict="caught (the build's test discovery failed)"
            CAUGHT=$((CAUGHT + 1))
        fi
    elif run_tests "$log" "${E2E[i]}"; then
        verdict="SURVIVED"
        grep -q FLAKY "$log" && verdict="SURVIVED (a test failed once, then passed on its own)"
        SURVIVED+=("$n $file: $label")
    else
        # The first test named in the confirming run's list of failures.
        failed=$(tac "$log" | grep -m1 -B1000 'The following tests FAILED' | tac | grep -m1 -E '^\s+[0-9]+ - ' |
                 sed -E 's/^\s+[0-9]+ - //' || true)
        verdict="caught${failed:+ by $failed}"
        CAUGHT=$((CAUGHT + 1))
    fi
    # Back to the original text, with a fresh time stamp so the next build
    # recompiles it.
    cp "$SCRATCH/original" "$SRC/$file" && touch "$SRC/$file"
    printf '%3d/%d %-28s %-60s %4ss  %s\n' "$n" "$TOTAL" "$file" "$label" "$(($(date +%s) - t0))" "$verdict"
done
ninja -C "$BUILD" -j "$JOBS" >/dev/null 2>&1 || true

COUNTED=$((TOTAL - ${#BROKEN[@]}))
echo
echo "Survivors (${#SURVIVED[@]}):"
for s in "${SURVIVED[@]}"; do echo "  $s"; done
if ((${#BROKEN[@]})); then
    echo "Not counted, they do not build (${#BROKEN[@]}):"
    for s in "${BROKEN[@]}"; do echo "  $s"; done
fi
awk -v c="$CAUGHT" -v t="$COUNTED" -v s="$(($(date +%s) - START))" \
    'BEGIN { printf "Caught %d of %d mutations: %.1f %% (%d min %d s)\n", c, t, t ? 100 * c / t : 0, s / 60, s % 60 }'
((KEEP)) && echo "Logs in $LOGS"
# Status 0 when at least nine in ten were caught.
((COUNTED > 0 && CAUGHT * 10 >= COUNTED * 9))
