#!/usr/bin/env bash
# Shell helpers for end-to-end tests of the real `vexil` program: a private
# X server (Xvfb), a fresh run folder, the game started in it, mouse and
# keyboard input the way a person gives it (press, hold about a frame or
# more, release), screenshots and pixel checks, and a bounded wait for the
# program to end. Source this file, then call e2e_setup first.
#
# Everything started here is remembered by process id and stopped by the
# EXIT trap that e2e_setup installs; nothing else is touched.

E2E_LIB_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
E2E_SOURCE_DIR="$(cd "$E2E_LIB_DIR/../.." && pwd)"

# How long a key or mouse button is held, and the pause after letting it go,
# in seconds. Long enough to span at least one 33 ms frame (two or three
# even on a slow sanitizer build), short of the 500 ms key repeat.
E2E_HOLD="${E2E_HOLD:-0.2}"
E2E_GAP="${E2E_GAP:-0.15}"

E2E_XVFB_PID=""
E2E_GAME_PID=""
E2E_WATCHER_PID=""
E2E_GAME_STATUS=""
E2E_NAME=""
E2E_ARTIFACTS=""
E2E_RUN=""
E2E_TMP=""
E2E_FAILURES=0

e2e_log() { echo "[$E2E_NAME] $*"; }

# Marks the test failed and goes on, so that one run shows every fault.
e2e_fail() {
    echo "[$E2E_NAME] FAIL: $*" >&2
    E2E_FAILURES=$((E2E_FAILURES + 1))
}

# Ends the test at once.
e2e_abort() {
    echo "[$E2E_NAME] ABORT: $*" >&2
    exit 1
}

e2e_cleanup() {
    if e2e_game_running; then
        kill "$E2E_GAME_PID" 2>/dev/null || true
        local i
        for ((i = 0; i < 50; i++)); do
            e2e_game_running || break
            sleep 0.1
        done
        if e2e_game_running; then kill -9 "$E2E_GAME_PID" 2>/dev/null || true; fi
    fi
    if [[ -n "$E2E_WATCHER_PID" ]]; then wait "$E2E_WATCHER_PID" 2>/dev/null || true; fi
    if [[ -n "$E2E_XVFB_PID" ]]; then
        kill "$E2E_XVFB_PID" 2>/dev/null || true
        wait "$E2E_XVFB_PID" 2>/dev/null || true
    fi
    if [[ -n "$E2E_TMP" ]]; then rm -rf "$E2E_TMP"; fi
}

# e2e_setup NAME ARTIFACTDIR
# Names the test, makes ARTIFACTDIR (screenshots and the run folder's logs
# stay there) and installs the clean-up trap.
e2e_setup() {
    E2E_NAME="${1:?test name}"
    E2E_ARTIFACTS="${2:?artifact folder}"
    mkdir -p "$E2E_ARTIFACTS"
    E2E_TMP="$(mktemp -d "${TMPDIR:-/tmp}/vexil-e2e-XXXXXX")"
    for tool in Xvfb xdotool import stream identify od; do
        command -v "$tool" >/dev/null || e2e_abort "$tool is not installed (tools/install-deps.sh --tests)"
    done
    trap e2e_cleanup EXIT
}

# e2e_start_xvfb [WxHxDEPTH]
# Starts a private X server on a display number it picks itself and points
# DISPLAY at it.
e2e_start_xvfb() {
    local screen="${1:-1024x768x24}"
    local fdfile="$E2E_ARTIFACTS/$E2E_NAME.display"
    : > "$fdfile"
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$fdfile" \
        >"$E2E_ARTIFACTS/$E2E_NAME.xvfb.log" 2>&1 &
    E2E_XVFB_PID=$!
    local i
    for ((i = 0; i < 200; i++)); do
        if [[ -s "$fdfile" ]]; then break; fi
        kill -0 "$E2E_XVFB_PID" 2>/dev/null || e2e_abort "Xvfb did not start (see $E2E_NAME.xvfb.log)"
        sleep 0.05
    done
    [[ -s "$fdfile" ]] || e2e_abort "Xvfb gave no display number within 10 s"
    export DISPLAY=":$(tr -dc '0-9' < "$fdfile")"
    rm -f "$fdfile"
    e2e_log "Xvfb on $DISPLAY ($screen)"
}

# e2e_run_folder [DEFAULTS_HOST DEFAULTS_NAME]
# Lays out a fresh run folder under the artifact folder. With two arguments
# it also writes a "defaults.cfg" holding them.
e2e_run_folder() {
    E2E_RUN="$E2E_ARTIFACTS/$E2E_NAME.run"
    rm -rf "$E2E_RUN"
    "$E2E_SOURCE_DIR/tools/make-run-folder.sh" "$E2E_RUN"
    if (($# >= 2)); then
        printf '%s\n%s\n' "$1" "$2" > "$E2E_RUN/defaults.cfg"
    fi
}

# e2e_start_game EXECUTABLE
# Starts the game in the run folder, standard output and error into
# stdout.log and stderr.log there. A small watcher shell waits for it and
# writes its exit status to exit.status, so that its end is seen at once.
e2e_start_game() {
    local exe="${1:?executable}"
    [[ -x "$exe" ]] || e2e_abort "no executable $exe"
    rm -f "$E2E_RUN/game.pid" "$E2E_RUN/exit.status"
    (
        cd "$E2E_RUN" || exit 1
        "$exe" >stdout.log 2>stderr.log &
        echo $! > game.pid
        status=0
        wait $! || status=$?
        echo "$status" > exit.status.tmp
        mv exit.status.tmp exit.status
    ) &
    E2E_WATCHER_PID=$!
    local i
    for ((i = 0; i < 100; i++)); do
        [[ -s "$E2E_RUN/game.pid" ]] && break
        sleep 0.05
    done
    E2E_GAME_PID="$(cat "$E2E_RUN/game.pid" 2>/dev/null || true)"
    [[ -n "$E2E_GAME_PID" ]] || e2e_abort "the game did not start"
    e2e_log "started $exe as $E2E_GAME_PID"
}

# True while the game started by e2e_start_game has not ended.
e2e_game_running() {
    [[ -n "$E2E_GAME_PID" && ! -e "$E2E_RUN/exit.status" ]]
}

# e2e_wait_window TITLE TIMEOUT_SECONDS
# Waits until a window with exactly this title exists; prints its id.
e2e_wait_window() {
    local title="${1:?title}" limit="${2:-60}" id="" i
    for ((i = 0; i < limit * 10; i++)); do
        id="$(xdotool search --name "^${title}\$" 2>/dev/null | head -n 1 || true)"
        if [[ -n "$id" ]]; then
            echo "$id"
            return 0
        fi
        e2e_game_running || return 1
        sleep 0.1
    done
    return 1
}

# e2e_window_geometry ID -> sets WX WY WW WH
e2e_window_geometry() {
    local X Y WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "${1:?window id}" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
    WX="$X"
    WY="$Y"
    WW="$WIDTH"
    WH="$HEIGHT"
}

# e2e_click X Y : moves to screen point (X, Y), presses the left button,
# holds it, lets go.
e2e_click() {
    xdotool mousemove "$1" "$2"
    sleep "$E2E_GAP"
    xdotool mousedown 1
    sleep "$E2E_HOLD"
    xdotool mouseup 1
    sleep "$E2E_GAP"
}

# e2e_key KEYSYM : presses one key (an X key name such as a, Return,
# BackSpace, Escape, KP_8), holds it, lets go.
e2e_key() {
    xdotool keydown "$1"
    sleep "$E2E_HOLD"
    xdotool keyup "$1"
    sleep "$E2E_GAP"
}

# e2e_type TEXT : types letters, digits, '.', '-' and spaces one key at a
# time, holding Shift for capitals.
e2e_type() {
    local text="$1" i c
    for ((i = 0; i < ${#text}; i++)); do
        c="${text:i:1}"
        case "$c" in
            [A-Z])
                xdotool keydown Shift_L
                sleep "$E2E_GAP"
                e2e_key "${c,,}"
                xdotool keyup Shift_L
                sleep "$E2E_GAP"
                ;;
            [a-z0-9]) e2e_key "$c" ;;
            .) e2e_key period ;;
            -) e2e_key minus ;;
            " ") e2e_key space ;;
            *) e2e_abort "e2e_type cannot type '$c'" ;;
        esac
    done
}

# e2e_screenshot NAME : saves the whole X screen as ARTIFACTS/NAME.png and
# prints the file's path.
e2e_screenshot() {
    local file="$E2E_ARTIFACTS/${1:?name}.png"
    import -window root "$file"
    rm -f "$(e2e_rawfile "$file")"  # a new picture under an old name
    echo "$file"
}

# Where the raw RGB dump of a screenshot is kept (removed at the end).
e2e_rawfile() {
    local name="${1//\//_}"
    echo "$E2E_TMP/${name%.png}.rgb"
}

# e2e_pixel FILE.png X Y : prints "R G B" of one pixel of a screenshot.
e2e_pixel() {
    local png="$1" x="$2" y="$3"
    local raw
    raw="$(e2e_rawfile "$png")"
    if [[ ! -s "$raw" ]]; then
        stream -map rgb -storage-type char "$png" "$raw"
    fi
    local width
    width="$(identify -format '%w' "$png")"
    od -An -tu1 -j $(((y * width + x) * 3)) -N3 "$raw" | awk '{print $1, $2, $3}'
}

# e2e_wait_pixel X Y "R G B" TIMEOUT_SECONDS : takes screenshots until the
# screen pixel (X, Y) has this colour (the program has drawn its frame).
e2e_wait_pixel() {
    local i shot
    for ((i = 0; i < ${4:-30} * 4; i++)); do
        shot="$(e2e_screenshot "$E2E_NAME.wait")"
        if [[ "$(e2e_pixel "$shot" "$1" "$2")" == "$3" ]]; then
            rm -f "$shot"
            return 0
        fi
        sleep 0.25
    done
    return 1
}

# e2e_expect_pixel FILE.png X Y "R G B" WHAT
e2e_expect_pixel() {
    local got
    got="$(e2e_pixel "$1" "$2" "$3")"
    if [[ "$got" != "$4" ]]; then
        e2e_fail "$5: pixel ($2, $3) is ($got), expected ($4)"
    fi
}

# e2e_expect_ink FILE.png X0 Y0 X1 Y1 WHAT : some dark pixel (text) lies in
# the rectangle from (X0, Y0) to (X1, Y1), corners included.
e2e_expect_ink() {
    local png="$1" x0="$2" y0="$3" x1="$4" y1="$5"
    e2e_pixel "$png" 0 0 >/dev/null  # makes the raw dump
    local raw width y
    raw="$(e2e_rawfile "$png")"
    width="$(identify -format '%w' "$png")"
    for ((y = y0; y <= y1; y++)); do
        if od -An -v -w3 -tu1 -j $(((y * width + x0) * 3)) -N $(((x1 - x0 + 1) * 3)) "$raw" |
            awk '$1 < 100 && $2 < 100 && $3 < 100 {found = 1} END {exit !found}'; then
            return 0
        fi
    done
    e2e_fail "$6: no text in ($x0, $y0)-($x1, $y1)"
}

# e2e_wait_exit TIMEOUT_SECONDS : waits for the game to end; its exit status
# is left in E2E_GAME_STATUS. Returns 1 if it was still running.
e2e_wait_exit() {
    local limit="${1:-30}" i
    for ((i = 0; i < limit * 10; i++)); do
        if ! e2e_game_running; then
            E2E_GAME_STATUS="$(cat "$E2E_RUN/exit.status")"
            E2E_GAME_PID=""
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# e2e_finish : reports the outcome and sets the script's exit status.
e2e_finish() {
    if ((E2E_FAILURES > 0)); then
        echo "[$E2E_NAME] $E2E_FAILURES check(s) failed; artifacts in $E2E_ARTIFACTS" >&2
        exit 1
    fi
    e2e_log "passed"
    exit 0
}
