#!/usr/bin/env bash
# Installs what is missing, builds the game twice (plain, and with
# AddressSanitizer + UndefinedBehaviorSanitizer) and runs every test: the
# whole suite in the plain build but the soak, the whole suite in the
# sanitizer build but the package test (the soak runs there, with the
# sanitizers watching the server under load), then short runs of both fuzz
# targets. On a system with the classic SDL 1.2 the plain build also runs the
# end-to-end tests on sdl12-compat; the configure step says which SDLs the
# end-to-end tests use. Prints how long each step took.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$ROOT/tools/install-deps.sh" --tests
JOBS="$(nproc)"
START=$SECONDS
step() { echo "=== $1 (at $((SECONDS - START)) s) ==="; }
# configure ARGS...: cmake's output only when it fails, else its line on the end-to-end tests.
configure() {
    local out
    out="$(cmake "$@")" || { echo "$out"; return 1; }
    grep -F 'End-to-end tests:' <<<"$out" || true
}

step "plain build"
configure -S "$ROOT" -B "$ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$ROOT/build" -j "$JOBS"
step "sanitizer build"
configure -S "$ROOT" -B "$ROOT/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVEXIL_SANITIZE=ON
cmake --build "$ROOT/build-asan" -j "$JOBS"

export ASAN_OPTIONS="detect_leaks=0:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
step "tests (plain build)"
(cd "$ROOT/build" && ctest --output-on-failure -j "$JOBS" --timeout 300 -LE soak) || status=1
step "tests (sanitizer build)"
(cd "$ROOT/build-asan" && ctest --output-on-failure -j "$JOBS" --timeout 600 -LE nosan) || status=1
step "fuzzing"
"$ROOT/tools/fuzz.sh" 30 || status=1
step "done, status $status"
exit $status
