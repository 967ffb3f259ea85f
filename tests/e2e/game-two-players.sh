#!/usr/bin/env bash
# End to end: two real game processes in one X screen, played the way two
# people would. One (window at the left) clicks "Start New Server" and hosts;
# the other (its own run folder, window at the right) types a name and
# "localhost" and clicks "Join a Server". Then:
#  - both game screens come up, each with both names in its score lines and
#    its own white dot on the map;
#  - the host flies a little way in, the joining player reads both ships off
#    its map and flies next to the host; both ships then show in both views
#    and on both maps;
#  - the host holds Space: its shots show on the joining player's map;
#  - the joining player types "hi" into the chat box: the line arrives in
#    both windows;
#  - the joining player presses Escape: its program ends with status 0 and
#    the host shows the leave line; the host's Escape ends it with status 0.
# Screenshots of the whole screen and of each window stay in ARTIFACTDIR.
#   game-two-players.sh EXECUTABLE ARTIFACTDIR
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

EXE="${1:?executable}"
e2e_setup game-two-players "${2:?artifact folder}"

# Two games run here; the clean-up stops whichever still runs, the joining
# one first, then the host with the X server.
HOSTRUN=""
HOSTPID=""
HOSTWATCHER=""
JOINRUN=""
JOINPID=""
JOINWATCHER=""
stop_games() {
    local xvfb="$E2E_XVFB_PID" tmp="$E2E_TMP"
    E2E_XVFB_PID=""
    E2E_TMP=""
    E2E_RUN="$JOINRUN" E2E_GAME_PID="$JOINPID" E2E_WATCHER_PID="$JOINWATCHER"
    [[ -n "$JOINRUN" ]] && e2e_cleanup
    E2E_XVFB_PID="$xvfb"
    E2E_TMP="$tmp"
    E2E_RUN="$HOSTRUN" E2E_GAME_PID="$HOSTPID" E2E_WATCHER_PID="$HOSTWATCHER"
    e2e_cleanup
}
trap stop_games EXIT

# Host window at (0, 0), joining window at (850, 0), both 800 x 600.
HX=0
JX=850
e2e_start_xvfb 1700x700x24

# ---------------------------------------------------------------- helpers

# pixels_of PNG X Y W H RRGGBB : "x y" (screen coordinates) of every pixel of
# that colour in the rectangle.
pixels_of() {
    convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -alpha off -depth 8 txt:- |
        awk -v hex="#$6" -v ox="$2" -v oy="$3" '$3 == hex { split($1, p, /[,:]/); print p[1] + ox, p[2] + oy }'
}
count_of() { pixels_of "$@" | wc -l; }

# count_lit PNG X Y W H : pixels in the rectangle that are not black.
count_lit() {
    convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -alpha off -depth 8 txt:- |
        awk 'NR > 1 && $3 != "#000000" { n++ } END { print n + 0 }'
}

# window_shot NAME : the whole screen as NAME.png plus one PNG per window.
window_shot() {
    local shot
    shot="$(e2e_screenshot "$1")"
    convert "$shot" -crop 800x600+$HX+0 +repage "$E2E_ARTIFACTS/$1-host.png"
    convert "$shot" -crop 800x600+$JX+0 +repage "$E2E_ARTIFACTS/$1-join.png"
    echo "$shot"
}

# wait_game_screen WINDOWX SECONDS : until the window shows the game's grey.
wait_game_screen() {
    local i shot
    for ((i = 0; i < $2 * 2; i++)); do
        shot="$(e2e_screenshot waiting)"
        [[ "$(e2e_pixel "$shot" $(($1 + 1)) 1)" == "221 221 221" ]] && return 0
        sleep 0.5
    done
    return 1
}

# hold KEY SECONDS : a key held down for a measured time.
hold() {
    xdotool keydown "$1"
    sleep "$2"
    xdotool keyup "$1"
    sleep "$E2E_GAP"
}

# Map of a window: x 656..797, y 30..175; a world point (x, y) lies at
# (656 + (x + 5000) * 0.0142, 30 + (y + 5000) * 0.0146).
map_to_world_x() { awk -v p="$1" -v o="$2" 'BEGIN { printf "%d", (p - o - 656) / 0.0142 - 5000 }'; }
map_to_world_y() { awk -v p="$1" 'BEGIN { printf "%d", (p - 30) / 0.0146 - 5000 }'; }

# A dot of colour RRGGBB on the map of the window at WINDOWX: "x y" or nothing.
map_dot() { pixels_of "$1" $(($2 + 656)) 30 142 146 "$3" | head -n 1; }

# ------------------------------------------------------------- the host

e2e_run_folder "nowhere" "Ann"
HOSTRUN="$E2E_RUN"
export SDL_VIDEO_WINDOW_POS="$HX,0"
e2e_start_game "$EXE"
HOSTPID="$E2E_GAME_PID"
HOSTWATCHER="$E2E_WATCHER_PID"
e2e_wait_window 'Vexil!' 180 >/dev/null || e2e_abort "the hosting program opened no window"
sleep 1
e2e_click $((HX + 110)) 150  # "Start New Server"
wait_game_screen $HX 30 || e2e_abort "the host's game screen did not come up"

# ------------------------------------------------------ the joining player

JOINRUN="$E2E_ARTIFACTS/$E2E_NAME.join.run"
rm -rf "$JOINRUN"
"$E2E_SOURCE_DIR/tools/make-run-folder.sh" "$JOINRUN"
E2E_RUN="$JOINRUN"
export SDL_VIDEO_WINDOW_POS="$JX,0"
e2e_start_game "$EXE"
JOINPID="$E2E_GAME_PID"
JOINWATCHER="$E2E_WATCHER_PID"
unset SDL_VIDEO_WINDOW_POS
for ((i = 0; i < 1800; i++)); do
    [[ "$(xdotool search --name '^Vexil!$' 2>/dev/null | wc -l)" -ge 2 ]] && break
    e2e_game_running || break
    sleep 0.1
done
for id in $(xdotool search --name '^Vexil!$'); do
    e2e_window_geometry "$id"
    [[ "${WW}x$WH" == "800x600" ]] || e2e_fail "a window is ${WW}x$WH"
    [[ "$WY" == "0" && ("$WX" == "$HX" || "$WX" == "$JX") ]] || e2e_fail "a window sits at ($WX, $WY)"
done
sleep 1
e2e_click $((JX + 400)) 240  # name box
e2e_type "Joe"
e2e_click $((JX + 400)) 280  # address box
e2e_type "localhost"
e2e_click $((JX + 110)) 260  # "Join a Server"
wait_game_screen $JX 30 || e2e_abort "the joining player's game screen did not come up"
sleep 1.5

# ------------------------------------------------------------- joined

SHOT="$(window_shot joined)"
for wx in $HX $JX; do
    # Score lines of slots 0 (Ann) and 1 (Joe) at x 671, y 178 and 193.
    e2e_expect_ink "$SHOT" $((wx + 671)) 179 $((wx + 720)) 190 "slot 0 score line in window at $wx"
    e2e_expect_ink "$SHOT" $((wx + 671)) 194 $((wx + 720)) 205 "slot 1 score line in window at $wx"
done
[[ -n "$(map_dot "$SHOT" $JX FFFFFF)" ]] || e2e_fail "no white own dot on the joining player's map"
# The join lines at the bottom of the views: line 0 (y 560) in full white
# (254, 254, 254), line 1 (y 548) a twelfth darker (233, 233, 233).
[[ "$(count_of "$SHOT" $((HX + 10)) 560 200 12 FEFEFE)" -gt 0 ]] || e2e_fail "no join line as the host's line 0"
[[ "$(count_of "$SHOT" $((HX + 10)) 548 200 12 E9E9E9)" -gt 0 ]] || e2e_fail "no join line as the host's line 1"
[[ "$(count_of "$SHOT" $((JX + 10)) 560 200 12 FEFEFE)" -gt 0 ]] || e2e_fail "no join line on the joining player"

# ------------------------------------------------ the host flies a little

# Heading 64 (up) turned left to about 51, whose thrust points along 5
# radians (left, a little up); 0.8 s of thrust carries the ship about 600
# units once drag has stopped it.
xdotool mousemove $((HX + 300)) 300
sleep "$E2E_GAP"
hold Left 0.61
hold Up 0.8
sleep 8

SHOT="$(window_shot host-moved)"
OWN="$(map_dot "$SHOT" $JX FFFFFF)"
OTHER="$(map_dot "$SHOT" $JX FF0000)"
[[ -n "$(map_dot "$SHOT" $HX FFFFFF)" ]] || e2e_fail "no white own dot on the host's map"
[[ -n "$OWN" && -n "$OTHER" ]] || e2e_abort "the joining player's map does not show both ships (own '$OWN', host '$OTHER')"
read -r OX OY <<<"$OWN"
read -r HXM HYM <<<"$OTHER"
# Where the joining player has to go: 180 units to the right of the host.
DX=$(($(map_to_world_x "$HXM" $JX) - $(map_to_world_x "$OX" $JX) + 180))
DY=$(($(map_to_world_y "$HYM") - $(map_to_world_y "$OY")))
e2e_log "joining player's way to the host: ($DX, $DY)"

# ----------------------------------------- the joining player flies over

# Thrust acts along whole radians: heading 10 pushes along 1 radian, heading
# 20 along 2 radians. With drag, thrust held for T seconds moves a ship by
# 750 T units in all once it has stopped again, so the way splits into a
# time along each direction (reverse thrust for a negative share).
read -r TA TB <<<"$(awk -v dx="$DX" -v dy="$DY" 'BEGIN {
    ax = sin(1); ay = -cos(1); bx = sin(2); by = -cos(2)
    det = ax * by - bx * ay
    a = (dx * by - bx * dy) / det
    b = (ax * dy - dx * ay) / det
    printf "%.3f %.3f", a / 750, b / 750
}')"
e2e_log "thrust $TA s at heading 10, $TB s at heading 20"
thrust() {
    local t="$1"
    if awk -v t="$t" 'BEGIN { exit !(t < 0) }'; then
        hold Down "${t#-}"
    else
        hold Up "$t"
    fi
}
xdotool mousemove $((JX + 300)) 300
sleep "$E2E_GAP"
hold Right 0.469
thrust "$TA"
hold Right 0.469
thrust "$TB"
sleep 10

SHOT="$(window_shot side-by-side)"
# Each view (x 2..653, y 30..579) shows, besides its own ship at the centre
# (328, 305), the other ship 180 units to the side: a whole sprite of lit
# pixels, where stars alone light only a few.
HOSTSIDE="$(count_lit "$SHOT" $((HX + 375)) 30 279 550)"
JOINSIDE="$(count_lit "$SHOT" $((JX + 2)) 30 278 550)"
e2e_log "lit pixels beside the own ship: host view $HOSTSIDE, joining view $JOINSIDE"
[[ "$HOSTSIDE" -gt 600 ]] || e2e_fail "the joining player's ship is not in the host's view"
[[ "$JOINSIDE" -gt 600 ]] || e2e_fail "the host's ship is not in the joining player's view"
for wx in $HX $JX; do
    [[ -n "$(map_dot "$SHOT" $wx FF0000)" ]] || e2e_fail "no red dot of the other ship on the map of the window at $wx"
    [[ -n "$(map_dot "$SHOT" $wx FFFFFF)" ]] || e2e_fail "no white own dot on the map of the window at $wx"
done

# ------------------------------------------------------ the host fires

xdotool mousemove $((HX + 300)) 300
sleep "$E2E_GAP"
xdotool keydown space
sleep 1.6
SHOT="$(window_shot firing)"
xdotool keyup space
sleep "$E2E_GAP"
[[ "$(count_of "$SHOT" $((JX + 656)) 30 142 146 804040)" -gt 0 ]] ||
    e2e_fail "the host's shots do not show on the joining player's map"
[[ "$(count_of "$SHOT" $((HX + 656)) 30 142 146 804040)" -gt 0 ]] || e2e_fail "the host's shots do not show on its own map"
cp "$SHOT" "$E2E_ARTIFACTS/game.png"

# --------------------------------------------------------------- chat

e2e_click $((JX + 300)) 590  # chat box
e2e_type "hi"
e2e_key Return
sleep 1.5
SHOT="$(window_shot chat)"
for wx in $HX $JX; do
    # Line 0 (y 560) is the short "Joe:hi", line 1 (y 548) the longer join line.
    [[ "$(count_of "$SHOT" $((wx + 10)) 560 60 12 FEFEFE)" -gt 0 ]] || e2e_fail "no chat line in the window at $wx"
    [[ "$(count_of "$SHOT" $((wx + 80)) 560 200 12 FEFEFE)" -eq 0 ]] || e2e_fail "line 0 of the window at $wx is not \"Joe:hi\""
    [[ "$(count_of "$SHOT" $((wx + 80)) 548 200 12 E9E9E9)" -gt 0 ]] || e2e_fail "line 1 of the window at $wx is not the join line"
done

# ------------------------------------------------------------ leaving

xdotool mousemove $((JX + 300)) 300
sleep "$E2E_GAP"
e2e_key Escape
E2E_RUN="$JOINRUN"
E2E_GAME_PID="$JOINPID"
E2E_WATCHER_PID="$JOINWATCHER"
e2e_wait_exit 30 || e2e_abort "the joining program did not end after Escape"
JOINPID=""
[[ "$E2E_GAME_STATUS" == "0" ]] || e2e_fail "the joining program ended with status $E2E_GAME_STATUS, expected 0"
sleep 1.5
SHOT="$(window_shot left)"
# The leave line, light green (128, 254, 128), as the host's line 0.
[[ "$(count_of "$SHOT" $((HX + 10)) 560 250 12 80FE80)" -gt 0 ]] || e2e_fail "no leave line on the host"
[[ -z "$(map_dot "$SHOT" $HX FF0000)" ]] || e2e_fail "the departed ship is still on the host's map"

xdotool mousemove $((HX + 300)) 300
sleep "$E2E_GAP"
e2e_key Escape
E2E_RUN="$HOSTRUN"
E2E_GAME_PID="$HOSTPID"
E2E_WATCHER_PID="$HOSTWATCHER"
e2e_wait_exit 30 || e2e_abort "the hosting program did not end after Escape"
HOSTPID=""
[[ "$E2E_GAME_STATUS" == "0" ]] || e2e_fail "the hosting program ended with status $E2E_GAME_STATUS, expected 0"

for run in "$HOSTRUN" "$JOINRUN"; do
    [[ ! -s "$run/stderr.log" ]] || e2e_fail "output on standard error in $run: $(head -c 300 "$run/stderr.log")"
done
e2e_finish
