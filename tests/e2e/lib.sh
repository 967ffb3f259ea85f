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
for tool in Xvfb xdotool xwd convert timeout flock; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed (tools/install-deps.sh --tests)" >&2; exit 1; }
done

e2e_fail() { echo "[$NAME] FAIL: $*" >&2; E2E_FAILS=$((E2E_FAILS + 1)); }
e2e_abort() { echo "[$NAME] ABORT: $*" >&2; exit 1; }
e2e_finish() { ((E2E_FAILS == 0)) || e2e_abort "$E2E_FAILS check(s) failed; screenshots in $ART"; echo "[$NAME] passed"; }
e2e_cleanup() {
    local i
    # Newest first, each given 5 s to end before the next: the X server goes last.
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
        kill "${E2E_PIDS[i]}" 2>/dev/null
        e2e_wait 5 e2e_gone "${E2E_PIDS[i]}" || kill -9 "${E2E_PIDS[i]}" 2>/dev/null
    done
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

# e2e_setup NAME ARTIFACTDIR WxHxDEPTH: names the test and starts Xvfb on a
# display of its own; its pid is left in E2E_XPID. Xvfb -displayfd takes no lock and its sockets are per
# network namespace, so tests in other namespaces could pick the same number
# and replace each other's socket in the shared /tmp: the number is locked
# there first (flock, held until this test's processes end), numbers with a
# socket or X lock file are passed over, and an Xvfb that dies moves on to
# the next number. -noreset: the server keeps its state when its last
# client leaves, as between two games of a test.
e2e_setup() {
    NAME="$1" ART="$2"
    mkdir -p "$ART"
    trap e2e_cleanup EXIT
    local n pid
    for n in $(shuf -i 100-899 -n 20); do
        [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]] && exec {E2E_LOCK}>>"/tmp/.vexil-e2e-X$n.lock" || continue
        flock -n "$E2E_LOCK" || continue
        Xvfb ":$n" -displayfd 3 -screen 0 "$3" -nolisten tcp -noreset 3>"$ART/$NAME.display" 2>"$ART/$NAME.xvfb.log" &
        pid=$!
        # Ready when a client gets in: Xvfb names its display before it lets the first clients in.
        e2e_wait 10 eval "[[ -s '$ART/$NAME.display' ]] && DISPLAY=:$n xdotool getdisplaygeometry >/dev/null 2>&1 || e2e_gone $pid"
        # Only X, and every game's window where the test expects it (sdl12-compat would centre it).
        DISPLAY=:$n xdotool getdisplaygeometry >/dev/null 2>&1 && ! e2e_gone $pid && E2E_PIDS+=("$pid") E2E_XPID=$pid &&
            export DISPLAY=":$n" SDL_VIDEODRIVER=x11 SDL_VIDEO_WINDOW_POS=0,0 && return
        kill "$pid" 2>/dev/null
        exec {E2E_LOCK}>&-
    done
    e2e_abort "Xvfb cannot start on a free display; the last try said: $(tail -n 2 "$ART/$NAME.xvfb.log" 2>/dev/null | tr '\n' ' ')"
}

# e2e_game RUN X EXE [HOST NAME]: a fresh run folder ART/NAME.RUN (with a
# defaults.cfg when HOST and NAME are given) and the game started in it,
# its window at (X, 0); its pid is left in PID_RUN.
e2e_game() {
    local run="$ART/$NAME.$1"
    local exe
    exe="$(realpath "$3")" && [[ -x "$exe" ]] || e2e_abort "no executable $3"
    rm -rf "$run"
    "$E2E_SRC/tools/make-run-folder.sh" "$run" >/dev/null
    (($# < 5)) || printf '%s\n%s\n' "$4" "$5" >"$run/defaults.cfg"
    (cd "$run" && SDL_VIDEO_WINDOW_POS="$2,0" exec "$exe" >stdout.log 2>stderr.log </dev/null) &
    E2E_PIDS+=($!)
    printf -v "PID_$1" %s $!
}

# e2e_focus: gives the keyboard to the game window under the mouse pointer,
# so keys reach the window the test means even after another one closed
# (sdl12-compat focuses each new window, and focus leaves with it).
e2e_focus() {
    local X Y SCREEN WINDOW WIDTH HEIGHT w px py
    eval "$(xdotool getmouselocation --shell)" && px=$X py=$Y
    for w in $(xdotool search --onlyvisible --name '^Vexil!$'); do
        eval "$(xdotool getwindowgeometry --shell "$w")"
        ((px >= X && px < X + WIDTH && py >= Y && py < Y + HEIGHT)) && xdotool windowfocus "$w" && return
    done
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
    e2e_focus
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
