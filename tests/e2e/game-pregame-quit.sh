#!/usr/bin/env bash
# End to end: the real program under Xvfb loads its bitmaps (with the
# console trace) and shows the pre-game screen, 800 x 600 at the screen's
# top-left, pre-filled from defaults.cfg; a person types more of a name into
# the name box and clicks "Quit a Server"; the program ends with status 0
# and defaults.cfg holds the address unchanged and the longer name. A
# second start ends the same way on SIGTERM.
#   game-pregame-quit.sh EXECUTABLE ARTIFACTDIR
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_setup pregame-quit "${2:?artifact folder}" 1024x768x24
e2e_game run 0 "${1:?executable}" gamehost Ace
RUN="$ART/$NAME.run"

# Loading and turning every sprite comes first; a sanitizer build is slow.
e2e_wait 180 e2e_sees pregame 700 50 1 1 D4D0C8 || e2e_abort "the pre-game screen was never drawn at the top-left"
eval "$(xdotool getwindowgeometry --shell "$(xdotool search --name '^Vexil!$' | head -n 1)")"
[[ "$X,$Y ${WIDTH}x$HEIGHT" == "0,0 800x600" ]] || e2e_fail "window ${WIDTH}x$HEIGHT at ($X, $Y)"
(($(e2e_count 221 231 40 19 ink) > 0)) || e2e_fail "no remembered name in its box"
(($(e2e_count 221 271 60 19 ink) > 0)) || e2e_fail "no remembered address in its box"

# The entry is still open when Quit is clicked.
e2e_click 400 240
e2e_type pilot7
e2e_shot typed
e2e_click 110 370
e2e_end "$PID_run" 60 || e2e_abort "the program did not end after \"Quit a Server\""
[[ "$STATUS" == 0 ]] || e2e_fail "exit status $STATUS, expected 0"
[[ "$(cat "$RUN/defaults.cfg")" == $'gamehost\nAcepilot7' ]] || e2e_fail "defaults.cfg holds '$(cat "$RUN/defaults.cfg")'"
grep -qxF 'About to load file data\player1.bmp' "$RUN/stdout.log" || e2e_fail "no loading trace for data\\player1.bmp"
grep -qxF 'Returning ptr' "$RUN/stdout.log" || e2e_fail "the loading trace does not reach \"Returning ptr\""
[[ ! -s "$RUN/stderr.log" ]] || e2e_fail "output on standard error: $(head -c 300 "$RUN/stderr.log")"

e2e_game term 0 "$1"
e2e_wait 180 e2e_sees term 700 50 1 1 D4D0C8 || e2e_abort "the second start drew no pre-game screen"
kill -TERM "$PID_term"
e2e_end "$PID_term" 30 || e2e_abort "the program did not end on SIGTERM"
[[ "$STATUS" == 0 ]] || e2e_fail "exit status $STATUS after SIGTERM, expected 0"
e2e_finish
