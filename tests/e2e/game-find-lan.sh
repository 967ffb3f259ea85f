#!/usr/bin/env bash
# End to end: a player finds the games of a LAN of network namespaces
# (tests/lan/lan.sh: Alpha with one bot, Bravo with two) and joins one
# without typing an address. The real game runs in a 640 x 480 window on
# the finder host; one click on "Find Games" lists both games in the rows
# below the IP Address box; a click on the first row (Alpha) highlights it
# and changes the IP Address box; "Join a Server" joins Alpha (its log shows
# the player from the finder host), the game screen comes up and the
# player flies and fires; Escape ends with status 0, Alpha logs the leave
# and defaults.cfg remembers Alpha's address.
#   game-find-lan.sh EXECUTABLE BUILD_FOLDER ARTIFACTDIR
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
source "$(dirname "${BASH_SOURCE[0]}")/../lan/lan.sh"
EXE="$(realpath "${1:?executable}")"
e2e_setup find-lan "${3:?artifact folder}" 800x600x24
lan_start "$ART/find-lan.net"
lan_two_servers "$(realpath "${2:?build folder}")"

RUN="$ART/$NAME.run"
rm -rf "$RUN" && "$E2E_SRC/tools/make-run-folder.sh" "$RUN" >/dev/null
printf 'xres, 640\nyres, 480\ndepth, 32\n' >"$RUN/config.cfg"
printf 'nowhere\nEve\n' >"$RUN/defaults.cfg"
(cd "$RUN" && exec nsenter -t "$LANHOST_finder" -n -- "$EXE" >stdout.log 2>stderr.log </dev/null) &
E2E_PIDS+=($!) PID=$!
e2e_wait 180 e2e_sees pregame 600 50 1 1 D4D0C8 || e2e_abort "the pre-game screen was never drawn"
# box SHOTNAME: the pixels of the IP Address box in that screenshot.
box() { convert "$ART/$NAME-$1.png" -crop 298x18+221+271 +repage -depth 8 txt:- | md5sum; }
# row N RRGGBB: pixels of that colour in the name column of list row N (0 at y 330).
row() { e2e_count 338 $((330 + 16 * $1)) 150 16 "$2"; }

e2e_click 270 311  # "Find Games"
listed() { e2e_shot listed && (($(row 0 ink) > 0 && $(row 1 ink) > 0 && $(row 2 ink) == 0)); }
e2e_wait 10 listed || e2e_abort "the list does not show two games"
e2e_click 400 338  # the first row: Alpha, by name
picked() { e2e_shot picked && (($(e2e_count 222 331 60 14 0A246A) > 0)) && [[ "$(box picked)" != "$(box pregame)" ]]; }
e2e_wait 5 picked || e2e_fail "the first row is not highlighted, or the IP Address box did not change"
e2e_click 110 260  # "Join a Server"
e2e_wait 20 grep -q '^join: slot 1 "Eve" from 10\.77\.[12]\.10$' "$ART/find-lan.net/Alpha.log" ||
    e2e_abort "Alpha's log shows no join from the finder host"
e2e_wait 20 e2e_sees playing 1 1 1 1 DDDDDD || e2e_abort "the game screen did not come up"
xdotool mousemove 300 300; e2e_focus; xdotool keydown Up keydown space sleep 1.5 keyup Up keyup space
e2e_shot playing
e2e_keys Escape
e2e_end "$PID" 30 || e2e_abort "the game did not end after Escape"
[[ "$STATUS" == 0 ]] || e2e_fail "the game ended with status $STATUS"
e2e_wait 10 grep -q '^leave: slot 1 "Eve"' "$ART/find-lan.net/Alpha.log" || e2e_fail "Alpha's log shows no leave"
[[ "$(head -n 1 "$RUN/defaults.cfg")" =~ ^10\.77\.[12]\.2$ ]] || e2e_fail "defaults.cfg remembers '$(head -n 1 "$RUN/defaults.cfg")'"
[[ ! -s "$RUN/stderr.log" ]] || e2e_fail "standard error: $(head -c 300 "$RUN/stderr.log")"
e2e_finish
