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
# display of its own. Xvfb -displayfd takes no lock and its sockets are per
# network namespace, so tests in other namespaces could pick the same number
# and replace each other's socket in the shared /tmp: the number is locked
# there first (flock, held until this test's processes end), numbers with a
# socket or X lock file are passed over, and an Xvfb that dies moves on to
# the next number.
e2e_setup() {
    NAME="$1" ART="$2"
    mkdir -p "$ART"
    trap e2e_cleanup EXIT
    local n=$((100 + RANDOM % 800)) try pid
    for ((try = 0; try < 20; try++, n++)); do
        [[ ! -e "/tmp/.X11-unix/X$n" && ! -e "/tmp/.X$n-lock" ]] || continue
        exec {E2E_LOCK}>>"/tmp/.vexil-e2e-X$n.lock"
        flock -n "$E2E_LOCK" || { exec {E2E_LOCK}>&-; continue; }
        rm -f "$ART/$NAME.display"
        Xvfb ":$n" -displayfd 3 -screen 0 "$3" -nolisten tcp 3>"$ART/$NAME.display" 2>"$ART/$NAME.xvfb.log" &
        pid=$!
        e2e_wait 10 eval "[[ -s '$ART/$NAME.display' ]] || e2e_gone $pid"
        if [[ -s "$ART/$NAME.display" ]] && ! e2e_gone "$pid"; then
            E2E_PIDS+=("$pid")
            # Only X: an SDL that cannot reach the server must fail, not draw into a text terminal.
            export DISPLAY=":$n" SDL_VIDEODRIVER=x11
            return
        fi
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        exec {E2E_LOCK}>&-
    done
    e2e_abort "Xvfb cannot start on any of :$((n - 20)) to :$((n - 1)) (the last try said: $(tail -n 2 "$ART/$NAME.xvfb.log" 2>/dev/null | tr '\n' ' '))"
}

# e2e_game RUN X EXE [HOST NAME]: a fresh run folder ART/NAME.RUN (with a
# defaults.cfg when HOST and NAME are given) and the game started in it,
# its window placed at (X, 0) (e2e_place); its pid is left in PID_RUN.
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
    e2e_place $! "$2"
}

# e2e_place PID X: waits (60 s at most, less if PID ends first) for a game
# window that belongs to no other running game and moves it to (X, 0) where
# SDL or a window manager put it elsewhere (sdl12-compat centres it); its id
# is left in WIN. Screen positions in the tests are then the same on every SDL.
E2E_WINDOWS=() E2E_WINDOWX=() E2E_WINDOWPID=()
e2e_newwindow() {
    local w i
    for w in $(xdotool search --onlyvisible --name '^Vexil!$' 2>/dev/null); do
        for i in "${!E2E_WINDOWS[@]}"; do
            [[ "${E2E_WINDOWS[i]}" != "$w" ]] || e2e_gone "${E2E_WINDOWPID[i]}" || continue 2
        done
        WIN=$w && return 0
    done
    e2e_gone "$1"
}
e2e_at() {
    local WINDOW X Y WIDTH HEIGHT SCREEN
    eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null)" && [[ "$X,$Y" == "$2,0" ]]
}
e2e_place() {
    WIN=""
    e2e_wait 60 e2e_newwindow "$1" || e2e_abort "the game (pid $1) opened no window in 60 s"
    [[ -n "$WIN" ]] || return 0
    E2E_WINDOWS+=("$WIN") E2E_WINDOWX+=("$2") E2E_WINDOWPID+=("$1")
    e2e_at "$WIN" "$2" || xdotool windowmove "$WIN" "$2" 0
    e2e_wait 10 e2e_at "$WIN" "$2" || e2e_abort "the game's window does not move to ($2, 0)"
}

# e2e_focus: gives the keyboard to the running game's window under the
# mouse pointer, so keys reach the window the test means even after another
# one closed (a closing window can take the focus with it).
e2e_focus() {
    local X Y SCREEN WINDOW i best=-1
    eval "$(xdotool getmouselocation --shell)"
    for i in "${!E2E_WINDOWS[@]}"; do
        ((E2E_WINDOWX[i] <= X)) && ! e2e_gone "${E2E_WINDOWPID[i]}" || continue
        ((best >= 0 && E2E_WINDOWX[best] > E2E_WINDOWX[i])) || best=$i
    done
    ((best < 0)) || xdotool windowfocus "${E2E_WINDOWS[best]}" 2>/dev/null || true
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
