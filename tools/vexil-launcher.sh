#!/bin/sh
# Starts the installed game (installed as <prefix>/games/vexil). The game
# reads data/, config.cfg and defaults.cfg from its working directory, so
# this gives it the player's own folder, $XDG_DATA_HOME/vexil (else
# ~/.local/share/vexil): made on the first run, data linked to the installed
# data, an 800 x 600 x 32 config.cfg written only when there is none, and
# defaults.cfg left to the game. The installed files are found relative to
# this script, so the same tree works under /usr, ~/.local or unpacked
# anywhere. The game's exit status is passed on.
#   vexil                plays
#   vexil FILE           watches the recording FILE (what the desktop passes
#   vexil --replay FILE  when a recording is opened); a relative FILE is
#                        taken from the folder the launcher was started in.
set -eu
HERE=$(dirname "$(readlink -f "$0")")
GAME="$HERE/../lib/games/vexil/vexil"
DATA="$HERE/../share/games/vexil/data"
if [ ! -d "$DATA" ]; then
    echo "vexil: the game's data folder $DATA is missing; reinstall the game" >&2
    exit 1
fi
if [ ! -x "$GAME" ]; then
    echo "vexil: the game program $GAME is missing; reinstall the game" >&2
    exit 1
fi
DATA=$(cd "$DATA" && pwd -P)
PLAYER="${XDG_DATA_HOME:-$HOME/.local/share}/vexil"
mkdir -p "$PLAYER"
# A link is renewed (the game may have moved); a real data folder is the player's own.
if [ -L "$PLAYER/data" ] || [ ! -e "$PLAYER/data" ]; then
    ln -sfn "$DATA" "$PLAYER/data"
fi
if [ ! -e "$PLAYER/config.cfg" ]; then
    printf 'xres, 800\nyres, 600\ndepth, 32\n' > "$PLAYER/config.cfg"
fi
# A recording named relative to where the player started us is made
# absolute before the game changes into the player's folder.
if [ "$#" -eq 2 ] && [ "$1" = "--replay" ]; then
    shift
fi
if [ "$#" -eq 1 ] && [ "${1#-}" = "$1" ]; then
    case "$1" in
        /*) FILE=$1 ;;
        *) FILE="$(pwd)/$1" ;;
    esac
    cd "$PLAYER"
    exec "$GAME" --replay "$FILE"
fi
cd "$PLAYER"
exec "$GAME" "$@"
