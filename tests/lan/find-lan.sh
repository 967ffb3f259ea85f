#!/usr/bin/env bash
# vexil-find on a LAN of network namespaces (lan.sh): two real servers on
# two hosts and the finder on a third. Both servers are listed with their
# names and player counts, Alpha once although both of the finder's
# networks reach it; a named host is asked alone; once Bravo stops, the
# next search no longer lists it, and asking for it alone ends with 1; a
# usage error ends with 2.
#   find-lan.sh BUILD_FOLDER ARTIFACTDIR
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"
source "$(dirname "${BASH_SOURCE[0]}")/lan.sh"
BUILD="$(realpath "${1:?build folder}")" NAME=find-lan ART="${2:?artifact folder}/find-lan"
lan_start "$ART"
lan_two_servers "$BUILD"
FIND="$BUILD/client/vexil-find"

# search NAME ARGS...: vexil-find on the finder host; its output in OUT, errors in ERR, status in STATUS.
search() {
    lan_run finder "$FIND" "${@:2}" >"$ART/$1.out" 2>"$ART/$1.err"
    STATUS=$?
    OUT="$(cat "$ART/$1.out")" ERR="$(cat "$ART/$1.err")"
}

search both
ALPHA='10\.77\.[12]\.2  1/16  Alpha'
[[ "$STATUS" == 0 && "$OUT" =~ ^$ALPHA$'\n''10.77.1.3  2/16  Bravo'$ ]] ||
    e2e_fail "the first search (status $STATUS) listed: $OUT"
[[ -z "$ERR" ]] || e2e_fail "the first search said: $ERR"
search named 10.77.2.2
[[ "$STATUS" == 0 && "$OUT" == "10.77.2.2  1/16  Alpha" ]] || e2e_fail "asking 10.77.2.2 alone (status $STATUS) listed: $OUT"

kill "$LANSERVER_Bravo"
e2e_wait 10 eval '! kill -0 $LANSERVER_Bravo 2>/dev/null' || e2e_abort "Bravo did not stop"
search after
[[ "$STATUS" == 0 && "$OUT" =~ ^$ALPHA$ ]] || e2e_fail "after Bravo stopped (status $STATUS) the search listed: $OUT"
search gone --seconds 0.5 10.77.1.3
[[ "$STATUS" == 1 && -z "$OUT" && "$ERR" == "vexil-find: no game answered (UDP port 7778): looked on 10.77.1.3" ]] ||
    e2e_fail "asking the stopped Bravo: status $STATUS, '$OUT', '$ERR'"
search usage --seconds 0.05
[[ "$STATUS" == 2 && -z "$OUT" && -n "$ERR" ]] || e2e_fail "a usage error: status $STATUS"
e2e_finish
