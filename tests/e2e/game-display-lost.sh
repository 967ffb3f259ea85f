#!/usr/bin/env bash
# End to end: the X server goes away under a hosting game that a bot has
# joined. The game stops its server and ends with status 1 and one line on
# standard error (no abort, no Xlib message); the bot sees the host leave
# and ends by itself. Then, with no display at all and no SDL_VIDEODRIVER,
# the game says it cannot open a window in one line and ends with status 1
# instead of drawing into the terminal.
#   game-display-lost.sh EXECUTABLE ARTIFACTDIR [BOTS]
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
EXE="$(realpath "${1:?executable}")"
BOTS="${3:-$(dirname "$EXE")/../bots/vexil-bots}"
e2e_setup display-lost "${2:?artifact folder}" 1024x768x24
XVFB="$E2E_XPID"
e2e_game host 0 "$EXE" 127.0.0.1 Ann
e2e_wait 180 e2e_sees pregame 700 50 1 1 D4D0C8 || e2e_abort "the pre-game screen was never drawn"
e2e_click 110 150  # "Start New Server"
e2e_wait 30 e2e_sees game 1 1 1 1 DDDDDD || e2e_abort "the game screen did not come up"
"$BOTS" --name Bob 127.0.0.1 >"$ART/$NAME.bot.log" 2>&1 &
BOT=$!
E2E_PIDS+=($BOT)
# The bot's ship, a red dot on the host's map.
e2e_wait 30 e2e_sees joined 656 30 142 146 FF0000 || e2e_abort "the bot never showed on the host's map"

kill "$XVFB"
e2e_end "$PID_host" 30 || e2e_abort "the hosting game did not end when its display went away"
[[ "$STATUS" == 1 ]] || e2e_fail "the hosting game ended with status $STATUS, expected 1"
GOT="$(cat "$ART/$NAME.host/stderr.log")"
[[ "$GOT" == "vexil: lost the connection to the display $DISPLAY" ]] || e2e_fail "standard error holds '$GOT'"
e2e_end "$BOT" 30 || e2e_abort "the bot did not see the host leave"
grep -qF ' 1 dropped by the server' "$ART/$NAME.bot.log" || e2e_fail "the bot's log: $(cat "$ART/$NAME.bot.log")"

GOT="$(cd "$ART" && env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$EXE" 2>&1 </dev/null)"
STATUS=$?
[[ "$STATUS" == 1 ]] || e2e_fail "with no display: status $STATUS, expected 1"
[[ "$GOT" == "vexil: cannot open a window: no display (DISPLAY is not set)" ]] || e2e_fail "with no display: '${GOT:0:300}'"
e2e_finish
