#!/usr/bin/env bash
# Lays out a run folder for the game: a fresh copy of data/, and a default
# config.cfg (800 x 600 x 32, windowed) only if there is none yet.
# defaults.cfg, the player's remembered name and host, is never touched.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
RUN="${1:?usage: make-run-folder.sh FOLDER}"
mkdir -p "$RUN/data"
cp -f "$ROOT"/data/*.bmp "$ROOT"/data/vera.ttf "$ROOT"/data/vera-LICENSE.txt "$RUN/data/" 2>/dev/null || true
if [[ ! -f "$RUN/config.cfg" ]]; then
    printf 'xres, 800\nyres, 600\ndepth, 32\n' > "$RUN/config.cfg"
fi
