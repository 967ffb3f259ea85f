#!/usr/bin/env bash
# End to end: the real program joins "localhost" while nothing listens on
# port 7778. It says so in one line on standard error and ends with status 1
# (standard input is no terminal here, so there is no key wait).
#   game-connect-refused.sh EXECUTABLE ARTIFACTDIR
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_setup connect-refused "${2:?artifact folder}" 1024x768x24
e2e_game run 0 "${1:?executable}" localhost Bob
e2e_wait 180 e2e_sees pregame 700 50 1 1 D4D0C8 || e2e_abort "the pre-game screen was never drawn"
e2e_click 110 260  # "Join a Server"
e2e_end "$PID_run" 30 || e2e_abort "the program did not end after a refused connection"
[[ "$STATUS" == 1 ]] || e2e_fail "exit status $STATUS, expected 1"
GOT="$(cat "$ART/$NAME.run/stderr.log")"
[[ "$GOT" == "vexil: cannot connect to localhost port 7778: connection refused" ]] || e2e_fail "standard error holds '$GOT'"
e2e_finish
