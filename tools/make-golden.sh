#!/usr/bin/env bash
# Makes the golden recordings of tests/replay/golden/ anew: builds
# vexil-make-golden in build/ and runs it in a private network namespace (it
# hosts a game on the game port with three bots, about 30 s of real time).
# Run it after any change that alters recordings or the game's pictures on
# purpose, and commit what it writes.
#   tools/make-golden.sh [BUILDDIR]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
[[ -f "$BUILD/build.ninja" ]] || cmake -S "$ROOT" -B "$BUILD" -G Ninja >/dev/null
ninja -C "$BUILD" -j 2 vexil-make-golden >/dev/null
mkdir -p "$ROOT/tests/replay/golden"
# The host is not hit in every game: a game that missed something is played
# again, three times at most (a failed game leaves the files as they were).
for attempt in 1 2 3; do
    SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy "$ROOT/tests/support/netns.sh" \
        "$BUILD/tools/vexil-make-golden" "$ROOT/tests/replay/golden" >/dev/null && break
    ((attempt < 3)) || { echo "make-golden.sh: no game gave a complete set" >&2; exit 1; }
done
ls -l "$ROOT/tests/replay/golden"
