#!/usr/bin/env bash
# End to end: two real game processes in one X screen, played the way two
# people would. The host (window at x 0) clicks "Start New Server"; the
# other player (window at x 850, its own run folder) types a name and
# "localhost" and clicks "Join a Server", while the host has flown a little. Then both game screens show both
# score lines, the join line, a white own dot and a red dot of the other
# ship on the map; the host holds Space and its shots show on both maps;
# the joining player chats "hi" and the line arrives in both windows; the
# joining player's Escape ends it with status 0 and the host shows the leave
# line and drops the ship from its map; the host's Escape ends it with 0.
# Then each game has left one recording in its demos/ that replays exactly
# (vexil-replaycheck), and "vexil --replay" shows the host's in a window:
# it plays, Space pauses it (the picture holds), Right jumps ahead and Left
# back (the picture changes), Escape leaves with status 0; a copy with
# damaged bytes leaves with status 1 and one line on standard error.
#   game-two-players.sh EXECUTABLE ARTIFACTDIR [REPLAYCHECK]
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
EXE="${1:?executable}"
REPLAYCHECK="${3:-$(dirname "$EXE")/../tools/vexil-replaycheck}"
e2e_setup two-players "${2:?artifact folder}" 1700x700x24
HX=0 JX=850

# dots WINDOWX RRGGBB: pixels of that colour on the map (x 656..797, y 30..175) of a window.
dots() { e2e_count $(($1 + 656)) 30 142 146 "$2"; }
# line WINDOWX ROW X W RRGGBB: pixels of that colour in chat line ROW (0 at y 560, 1 at y 548).
line() { e2e_count $(($1 + $3)) $((560 - 12 * $2)) "$4" 12 "$5"; }

e2e_game host $HX "$EXE" nowhere Ann
e2e_wait 180 e2e_sees start $((HX + 700)) 50 1 1 D4D0C8 || e2e_abort "the host's pre-game screen was never drawn"
e2e_click $((HX + 110)) 150  # "Start New Server"
e2e_wait 30 e2e_sees start $((HX + 1)) 1 1 1 DDDDDD || e2e_abort "the host's game screen did not come up"
# Both ships start at one spot: the host flies a little way off first (drag stops it).
xdotool mousemove $((HX + 300)) 300; e2e_focus; xdotool keydown Up sleep 0.8 keyup Up

e2e_game join $JX "$EXE"
e2e_wait 180 e2e_sees start $((JX + 700)) 50 1 1 D4D0C8 || e2e_abort "the joining pre-game screen was never drawn"
e2e_click $((JX + 400)) 240  # name box
e2e_type joe
e2e_click $((JX + 400)) 280  # address box
e2e_type localhost
e2e_click $((JX + 110)) 260  # "Join a Server"
joined() { e2e_shot joined && (($(dots $HX FF0000) > 0 && $(dots $JX FF0000) > 0 && $(line $JX 0 10 200 FEFEFE) > 0)); }
e2e_wait 30 joined || e2e_abort "the two players do not see each other on their maps"
for wx in $HX $JX; do
    (($(e2e_count $((wx + 671)) 179 50 12 ink) > 0)) || e2e_fail "no score line of slot 0 in the window at $wx"
    (($(e2e_count $((wx + 671)) 194 50 12 ink) > 0)) || e2e_fail "no score line of slot 1 in the window at $wx"
    (($(dots $wx FFFFFF) > 0)) || e2e_fail "no white own dot on the map of the window at $wx"
done
# The host's join line has moved up to line 1, a twelfth darker.
(($(line $HX 1 10 200 E9E9E9) > 0)) || e2e_fail "the host's line 1 is not its join line"

firing() { e2e_shot firing && (($(dots $HX 804040) > 0 && $(dots $JX 804040) > 0)); }
xdotool mousemove $((HX + 300)) 300; e2e_focus; xdotool keydown space
e2e_wait 10 firing || e2e_fail "the host's shots do not show on both maps"
xdotool keyup space

e2e_click $((JX + 300)) 590  # chat box
e2e_type hi
e2e_keys Return
# Line 0 is the short "joe:hi" in both windows, line 1 the longer join line.
chat() { e2e_shot chat && (($(line $HX 0 10 60 FEFEFE) > 0 && $(line $JX 0 10 60 FEFEFE) > 0)); }
e2e_wait 10 chat || e2e_fail "the chat line did not arrive in both windows"
for wx in $HX $JX; do
    (($(line $wx 0 80 200 FEFEFE) == 0)) || e2e_fail "line 0 of the window at $wx is not \"joe:hi\""
    (($(line $wx 1 80 200 E9E9E9) > 0)) || e2e_fail "line 1 of the window at $wx is not the join line"
done

xdotool mousemove $((JX + 300)) 300
e2e_keys Escape
e2e_end "$PID_join" 30 || e2e_abort "the joining program did not end after Escape"
[[ "$STATUS" == 0 ]] || e2e_fail "the joining program ended with status $STATUS"
# The leave line, light green, as the host's line 0; the ship gone from its map.
e2e_wait 10 e2e_sees left $((HX + 10)) 560 250 12 80FE80 || e2e_fail "no leave line on the host"
e2e_wait 10 eval 'e2e_shot left && (($(dots $HX FF0000) == 0))' || e2e_fail "the departed ship stays on the host's map"

xdotool mousemove $((HX + 300)) 300
e2e_keys Escape
e2e_end "$PID_host" 30 || e2e_abort "the hosting program did not end after Escape"
[[ "$STATUS" == 0 ]] || e2e_fail "the hosting program ended with status $STATUS"
for run in host join; do
    [[ ! -s "$ART/$NAME.$run/stderr.log" ]] || e2e_fail "standard error of the $run: $(head -c 300 "$ART/$NAME.$run/stderr.log")"
    recordings=("$ART/$NAME.$run"/demos/*.vxdemo)
    [[ ${#recordings[@]} == 1 && -s "${recordings[0]}" ]] || e2e_fail "the $run left no single recording in demos/"
    "$REPLAYCHECK" "${recordings[@]}" >"$ART/$NAME.$run/replaycheck.log" ||
        e2e_fail "the $run's recording does not replay exactly: $(cat "$ART/$NAME.$run/replaycheck.log")"
done

# replay FILE: "vexil --replay FILE" in the host's run folder, its window at
# (0, 0); its pid in PID_replay.
replay() {
    (cd "$ART/$NAME.host" && SDL_VIDEO_WINDOW_POS=0,0 exec "$(realpath "$EXE")" --replay "$1" >replay.out 2>replay.err </dev/null) &
    E2E_PIDS+=($!)
    PID_replay=$!
}
# rkeys KEYSYM...: to the viewer's window.
rkeys() {
    local w k
    w=$(xdotool search --onlyvisible --name '^Vexil! replay' | head -n 1)
    [[ -n "$w" ]] && xdotool windowfocus "$w"
    for k; do xdotool keydown "$k" sleep 0.15 keyup "$k" sleep 0.1; done
}
# view SHOTNAME: a fresh screenshot; a digest of the viewer's 800 x 600 in VIEW.
view() { e2e_shot "$1" && VIEW=$(convert "$SHOT" -crop 800x600+0+0 +repage -depth 8 rgb:- | md5sum); }
changes() { local old="$VIEW"; view "$1" && [[ "$VIEW" != "$old" ]]; }
# held SHOTNAME: the picture stays the same for a second and a half.
held() { view "$1" && local old="$VIEW" && sleep 1.5 && view "$1" && [[ "$VIEW" == "$old" ]]; }

recording=("$ART/$NAME.host"/demos/*.vxdemo)
xdotool mousemove 400 300
replay "${recording[0]}"
e2e_wait 60 e2e_sees replay 1 1 1 1 DDDDDD || e2e_abort "the replay's window did not come up"
view replay && e2e_wait 10 changes replay || e2e_fail "the replay does not play"
rkeys space
e2e_wait 10 held paused || e2e_fail "Space does not pause the replay"
rkeys Right
e2e_wait 10 changes ahead || e2e_fail "Right does not jump ahead"
e2e_wait 10 held ahead || e2e_fail "the replay does not stay paused after Right"
rkeys Left
e2e_wait 10 changes back || e2e_fail "Left does not jump back"
rkeys Escape
e2e_end "$PID_replay" 10 || e2e_abort "the replay did not end after Escape"
[[ "$STATUS" == 0 ]] || e2e_fail "the replay ended with status $STATUS"
[[ ! -s "$ART/$NAME.host/replay.err" ]] || e2e_fail "the replay said: $(head -c 300 "$ART/$NAME.host/replay.err")"

# The last tenth of a copy overwritten: its frames before the damage play,
# and leaving says what is wrong with it.
damaged="$ART/$NAME.host/damaged.vxdemo"
cp "${recording[0]}" "$damaged"
size=$(stat -c %s "$damaged")
head -c $((size / 10)) /dev/zero | tr '\0' '\125' | dd of="$damaged" bs=1 seek=$((size - size / 10)) conv=notrunc status=none
replay "$damaged"
e2e_wait 60 e2e_sees damaged 1 1 1 1 DDDDDD || e2e_abort "the damaged replay's window did not come up"
rkeys Escape
e2e_end "$PID_replay" 10 || e2e_abort "the damaged replay did not end after Escape"
[[ "$STATUS" == 1 ]] || e2e_fail "the damaged replay ended with status $STATUS"
# (Bytes that still inflate read as a file cut short, others as corrupted.)
[[ $(wc -l <"$ART/$NAME.host/replay.err") == 1 ]] && grep -qE "^vexil: $damaged: .*(corrupted|cut short)" "$ART/$NAME.host/replay.err" ||
    e2e_fail "the damaged replay did not say one line: $(head -c 300 "$ART/$NAME.host/replay.err")"
e2e_finish
