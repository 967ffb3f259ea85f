#!/usr/bin/env bash
# End to end: the real program under Xvfb. It loads its bitmaps (with the
# console trace), shows the pre-game screen in a window captioned "Vexil!"
# at the screen's top-left, pre-filled from defaults.cfg; a person types a
# name into the name box and clicks "Quit a Server"; the program ends with
# status 0 and defaults.cfg holds the address unchanged and the new name.
#   pregame_quit.sh EXECUTABLE ARTIFACTDIR
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

EXE="${1:?executable}"
e2e_setup pregame-quit "${2:?artifact folder}"
e2e_start_xvfb 1024x768x24
e2e_run_folder "gamehost" "Ace"
e2e_start_game "$EXE"

# Loading and turning every sprite comes first; a sanitizer build is slow.
WID="$(e2e_wait_window 'Vexil!' 180)" || {
    cat "$E2E_RUN/stderr.log" >&2
    e2e_abort "no window captioned \"Vexil!\" appeared"
}
e2e_window_geometry "$WID"
[[ "$WX,$WY" == "0,0" ]] || e2e_fail "window at ($WX, $WY), expected the top-left corner"
[[ "${WW}x$WH" == "800x600" ]] || e2e_fail "window is ${WW}x$WH, expected 800x600 from config.cfg"
BACK="212 208 200"
FACE="212 206 201"
WHITE="255 255 255"
BLACK="0 0 0"
GREY="128 128 128"
e2e_wait_pixel $((WX + 700)) $((WY + 50)) "$BACK" 60 || e2e_fail "the pre-game screen was never drawn"
sleep 0.5  # a few more frames
SHOT="$(e2e_screenshot pregame)"
e2e_expect_pixel "$SHOT" $((WX + 700)) $((WY + 50)) "$BACK" "background"
e2e_expect_pixel "$SHOT" $((WX + 5)) $((WY + 595)) "$BACK" "background"
e2e_expect_pixel "$SHOT" 900 700 "$BLACK" "screen outside the window"
for top in 100 210 320; do
    e2e_expect_pixel "$SHOT" $((WX + 10)) $((WY + top)) "$WHITE" "button at y $top: top-left highlight"
    e2e_expect_pixel "$SHOT" $((WX + 20)) $((WY + top + 10)) "$FACE" "button at y $top: face"
    e2e_expect_pixel "$SHOT" $((WX + 200)) $((WY + top + 90)) "$FACE" "button at y $top: face"
    e2e_expect_pixel "$SHOT" $((WX + 208)) $((WY + top + 50)) "$GREY" "button at y $top: shade"
    e2e_expect_pixel "$SHOT" $((WX + 209)) $((WY + top + 99)) "$BLACK" "button at y $top: outer edge"
    e2e_expect_pixel "$SHOT" $((WX + 210)) $((WY + top + 50)) "$BACK" "button at y $top: right of it"
    e2e_expect_ink "$SHOT" $((WX + 40)) $((WY + top + 35)) $((WX + 180)) $((WY + top + 65)) "button label at y $top"
done
for top in 230 270; do
    e2e_expect_pixel "$SHOT" $((WX + 219)) $((WY + top - 1)) "$GREY" "box at y $top: outer line"
    e2e_expect_pixel "$SHOT" $((WX + 220)) $((WY + top + 5)) "$BLACK" "box at y $top: inner line"
    e2e_expect_pixel "$SHOT" $((WX + 500)) $((WY + top + 10)) "$WHITE" "box at y $top: well"
    e2e_expect_pixel "$SHOT" $((WX + 521)) $((WY + top + 10)) "$WHITE" "box at y $top: lower-right line"
    e2e_expect_pixel "$SHOT" $((WX + 523)) $((WY + top + 10)) "$BACK" "box at y $top: right of it"
done
e2e_expect_ink "$SHOT" $((WX + 220)) $((WY + 210)) $((WX + 300)) $((WY + 224)) "\"Player Name\" label"
e2e_expect_ink "$SHOT" $((WX + 220)) $((WY + 255)) $((WX + 300)) $((WY + 268)) "\"IP Address\" label"
e2e_expect_ink "$SHOT" $((WX + 221)) $((WY + 231)) $((WX + 260)) $((WY + 249)) "remembered name in its box"
e2e_expect_ink "$SHOT" $((WX + 221)) $((WY + 271)) $((WX + 280)) $((WY + 289)) "remembered address in its box"

# Type into the name box; the entry is still open when Quit is clicked.
e2e_click $((WX + 400)) $((WY + 240))
e2e_type "Pilot7"
sleep 0.3
e2e_screenshot pregame-typed >/dev/null
e2e_click $((WX + 110)) $((WY + 370))

if ! e2e_wait_exit 60; then
    e2e_abort "the program did not end after \"Quit a Server\""
fi
[[ "$E2E_GAME_STATUS" == "0" ]] || e2e_fail "exit status $E2E_GAME_STATUS, expected 0"

EXPECTED=$'gamehost\nAcePilot7'
if [[ "$(cat "$E2E_RUN/defaults.cfg" 2>/dev/null)" != "$EXPECTED" ]]; then
    e2e_fail "defaults.cfg holds '$(cat "$E2E_RUN/defaults.cfg" 2>/dev/null)', expected '$EXPECTED'"
fi
grep -qxF 'About to load file data\player1.bmp' "$E2E_RUN/stdout.log" ||
    e2e_fail "no bitmap-loading trace for data\\player1.bmp on standard output"
grep -qxF 'Returning ptr' "$E2E_RUN/stdout.log" || e2e_fail "the loading trace does not reach \"Returning ptr\""
[[ ! -s "$E2E_RUN/stderr.log" ]] || e2e_fail "unexpected output on standard error: $(head -c 500 "$E2E_RUN/stderr.log")"

e2e_finish
