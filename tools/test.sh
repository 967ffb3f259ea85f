#!/usr/bin/env bash
# Installs what is missing, builds the game twice (plain, and with
# AddressSanitizer + UndefinedBehaviorSanitizer) and runs every test in
# both builds.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$ROOT/tools/install-deps.sh" --tests
JOBS="$(nproc)"

cmake -S "$ROOT" -B "$ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$ROOT/build" -j "$JOBS"
cmake -S "$ROOT" -B "$ROOT/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVEXIL_SANITIZE=ON >/dev/null
cmake --build "$ROOT/build-asan" -j "$JOBS"

export ASAN_OPTIONS="detect_leaks=0:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
echo "=== tests (plain build) ==="
(cd "$ROOT/build" && ctest --output-on-failure -j "$JOBS" --timeout 600) || status=1
echo "=== tests (sanitizer build) ==="
(cd "$ROOT/build-asan" && ctest --output-on-failure -j "$JOBS" --timeout 900 -LE nosan) || status=1
"$ROOT/tools/fuzz.sh" || status=1
exit $status
