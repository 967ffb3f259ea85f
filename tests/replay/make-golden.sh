#!/usr/bin/env bash
# Makes the golden recordings of tests/replay/golden/ anew: builds
# vexil-make-golden in build/ and runs it in a private network namespace (it
# hosts a game on the game port with three bots, about 15 s of real time).
# Run it after any change that alters recordings or the game's pictures on
# purpose, and commit what it writes.
#   tests/replay/make-golden.sh [BUILDDIR]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="${1:-$ROOT/build}"
[[ -f "$BUILD/build.ninja" ]] || cmake -S "$ROOT" -B "$BUILD" -G Ninja >/dev/null
ninja -C "$BUILD" -j 2 vexil-make-golden >/dev/null
mkdir -p "$ROOT/tests/replay/golden"
SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy "$ROOT/tests/support/netns.sh" \
    "$BUILD/tests/replay/vexil-make-golden" "$ROOT/tests/replay/golden" >/dev/null
ls -l "$ROOT/tests/replay/golden"
