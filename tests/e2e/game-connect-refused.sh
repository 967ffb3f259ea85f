#!/usr/bin/env bash
# End to end: the real program joins "localhost" while nothing listens on
# port 7778. It says so in one line on standard error and ends with status 1
# (standard input is no terminal here, so there is no key wait).
#   game-connect-refused.sh EXECUTABLE ARTIFACTDIR
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

EXE="${1:?executable}"
e2e_setup game-connect-refused "${2:?artifact folder}"
e2e_start_xvfb 1024x768x24
e2e_run_folder "localhost" "Bob"
e2e_start_game "$EXE" </dev/null

e2e_wait_window 'Vexil!' 180 >/dev/null || e2e_abort "no window appeared"
sleep 1
e2e_click 110 260  # "Join a Server"

e2e_wait_exit 30 || e2e_abort "the program did not end after a refused connection"
[[ "$E2E_GAME_STATUS" == "1" ]] || e2e_fail "exit status $E2E_GAME_STATUS, expected 1"
EXPECTED="vexil: cannot connect to localhost port 7778: connection refused"
GOT="$(cat "$E2E_RUN/stderr.log")"
[[ "$GOT" == "$EXPECTED" ]] || e2e_fail "standard error holds '$GOT', expected the one line '$EXPECTED'"
e2e_finish
