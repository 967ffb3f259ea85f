#!/usr/bin/env bash
# Shell helpers for the end-to-end tests of the real `vexil` program: a
# private X server (Xvfb), fresh run folders with a game started in each,
# mouse and key input the way a person gives it (held a little over a
# frame), screenshots kept under the artifact folder, pixel counts, and
# bounded waits for what the screen or a process shows. Source it, then call
# e2e_setup. Everything started here is stopped by process id on exit.
E2E_SRC="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
E2E_PIDS=()
E2E_FAILS=0
for tool in Xvfb xdotool xwd convert timeout; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed (tools/install-deps.sh --tests)" >&2; exit 1; }
done

e2e_fail() { echo "[$NAME] FAIL: $*" >&2; E2E_FAILS=$((E2E_FAILS + 1)); }
e2e_abort() { echo "[$NAME] ABORT: $*" >&2; exit 1; }
e2e_finish() { ((E2E_FAILS == 0)) || e2e_abort "$E2E_FAILS check(s) failed; screenshots in $ART"; echo "[$NAME] passed"; }
e2e_cleanup() {
    local i
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do kill "${E2E_PIDS[i]}" 2>/dev/null; done
    wait
}

# e2e_wait SECONDS COMMAND...: runs COMMAND until it succeeds; false once SECONDS have passed.
e2e_wait() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < end)) || return 1
        sleep 0.1
    done
}

# e2e_setup NAME ARTIFACTDIR WxHxDEPTH: names the test and starts Xvfb on a display it picks.
e2e_setup() {
    NAME="$1" ART="$2"
    mkdir -p "$ART"
    trap e2e_cleanup EXIT
    rm -f "$ART/$NAME.display"
    Xvfb -displayfd 3 -screen 0 "$3" -nolisten tcp 3>"$ART/$NAME.display" 2>"$ART/$NAME.xvfb.log" &
    E2E_PIDS+=($!)
    e2e_wait 10 test -s "$ART/$NAME.display" || e2e_abort "Xvfb gave no display number"
    export DISPLAY=":$(tr -dc 0-9 <"$ART/$NAME.display")"
}

# e2e_game RUN X EXE [HOST NAME]: a fresh run folder ART/NAME.RUN (with a
# defaults.cfg when HOST and NAME are given) and the game started in it,
# its window at (X, 0) (0: where the game puts it); its pid is left in PID_RUN.
e2e_game() {
    local run="$ART/$NAME.$1"
    local exe
    exe="$(realpath "$3")" && [[ -x "$exe" ]] || e2e_abort "no executable $3"
    rm -rf "$run"
    "$E2E_SRC/tools/make-run-folder.sh" "$run" >/dev/null
    (($# < 5)) || printf '%s\n%s\n' "$4" "$5" >"$run/defaults.cfg"
    (cd "$run" && { (($2 == 0)) || export SDL_VIDEO_WINDOW_POS="$2,0"; } && exec "$exe" >stdout.log 2>stderr.log </dev/null) &
    E2E_PIDS+=($!)
    printf -v "PID_$1" %s $!
}

# e2e_end PID SECONDS: waits for that game to end; its exit status in STATUS ("running" if it did not).
e2e_gone() { ! kill -0 "$1" 2>/dev/null; }
e2e_end() {
    STATUS=running
    e2e_wait "$2" e2e_gone "$1" || return 1
    wait "$1"
    STATUS=$?
}

# e2e_click X Y, e2e_keys KEYSYM..., e2e_type lowercase-or-digits: held a little over a frame each.
e2e_click() { xdotool mousemove "$1" "$2" sleep 0.1 mousedown 1 sleep 0.15 mouseup 1 sleep 0.1; }
e2e_keys() {
    local k
    for k; do xdotool keydown "$k" sleep 0.15 keyup "$k" sleep 0.1; done
}
e2e_type() {
    local i
    for ((i = 0; i < ${#1}; i++)); do e2e_keys "${1:i:1}"; done
}

# e2e_shot NAME: the whole screen as ART/NAME.png, whose path is left in SHOT.
# (xwd, bounded: ImageMagick's own import now and then hangs on a busy machine.)
e2e_shot() { SHOT="$ART/$NAME-$1.png" && timeout 20 xwd -root -silent | convert xwd:- "$SHOT"; }
# e2e_count X Y W H RRGGBB: pixels of that colour in the rectangle of SHOT ("ink": any dark pixel).
e2e_count() {
    convert "$SHOT" -crop "${3}x${4}+${1}+${2}" +repage -alpha off -depth 8 txt:- |
        awk -v hex="#$5" 'NR > 1 { split(substr($2, 2), c, ",")
            if ($3 == hex || (hex == "#ink" && c[1] < 100 && c[2] < 100 && c[3] < 100)) n++ } END { print n + 0 }'
}
# e2e_sees SHOTNAME X Y W H RRGGBB: a fresh screenshot shows some pixel of that colour there.
e2e_sees() { e2e_shot "$1" && (($(e2e_count "${@:2}") > 0)); }
