#!/usr/bin/env bash
# Installs what is missing, builds the game and starts it from the run
# folder run/, which holds the data files, config.cfg and the player's
# defaults.cfg (kept from run to run; a rebuild never touches it).
# Arguments go to the game (tools/play.sh --replay run/demos/FILE watches a
# recording); a recording's path is made absolute before the change of folder.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$ROOT/tools/install-deps.sh"
cmake -S "$ROOT" -B "$ROOT/build-play" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXIL_TESTS=OFF >/dev/null
cmake --build "$ROOT/build-play"
"$ROOT/tools/make-run-folder.sh" "$ROOT/run"
ARGS=()
for arg in "$@"; do
    if [[ "$arg" != -* && -e "$arg" ]]; then arg="$(cd "$(dirname "$arg")" && pwd)/$(basename "$arg")"; fi
    ARGS+=("$arg")
done
cd "$ROOT/run"
exec "$ROOT/build-play/main/vexil" "${ARGS[@]}"
