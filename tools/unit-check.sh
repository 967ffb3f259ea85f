#!/usr/bin/env bash
# Runs the package's sandboxed vexil-server unit for real, under systemd in a
# container: a minimal Debian (debootstrap, from the Debian mirror, on this
# machine's side) holding the package and its dependencies is booted with
# systemd-nspawn and no network but its own loopback; there the unit is
# started and must listen on TCP port 7778, let a bot play on it, log to the
# journal and stop cleanly; systemd-analyze rates its sandbox there, and ufw
# must read the firewall profile. Needs root (installs debootstrap and
# systemd-container when missing, through install-deps.sh). Slow and needs the mirror, so it is not
# part of the test command. Prints one line per check and ends with 1 if one
# failed.
#   tools/unit-check.sh DEB [SUITE] [ROOT_FOLDER]
# SUITE: bookworm (default) or trixie. ROOT_FOLDER keeps the container's
# files for the next run (default: a fresh folder, removed at the end).
set -uo pipefail
DEB="$(realpath "${1:?usage: unit-check.sh DEB [SUITE] [ROOT_FOLDER]}")"
SUITE="${2:-bookworm}"
[[ $(id -u) == 0 ]] || { echo "unit-check: needs root (debootstrap, systemd-nspawn)" >&2; exit 1; }
"$(dirname "${BASH_SOURCE[0]}")/install-deps.sh" --unit-check || exit 1

KEEP=1
DIR="${3:-}"
if [[ -z "$DIR" ]]; then KEEP=0; DIR="$(mktemp -d /var/tmp/vexil-unit-check.XXXXXX)"; fi
LOG="$DIR.log"
NSPID=""
FAILS=0
pass() { echo "unit-check: ok   $*"; }
fail() { echo "unit-check: FAIL $*"; FAILS=$((FAILS + 1)); }
finish() {
    if [[ -n "$NSPID" ]] && kill -0 "$NSPID" 2>/dev/null; then
        kill "$NSPID" 2>/dev/null
        wait_for 20 not_running "$NSPID" || kill -9 "$NSPID" 2>/dev/null
    fi
    ((KEEP == 1)) || rm -rf "$DIR"
    ((FAILS != 0)) || rm -f "$LOG"
}
trap finish EXIT
# wait_for SECONDS COMMAND...: true as soon as COMMAND succeeds, false once SECONDS have passed.
wait_for() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < end)) || return 1
        sleep 0.2
    done
}
not_running() { ! kill -0 "$1" 2>/dev/null; }
# inside COMMAND...: runs COMMAND inside the booted container.
inside() { nsenter -t "$INIT" -a "$@"; }

# The package's own dependencies (first of any alternatives), systemd to
# boot, ss to look at the sockets, ufw to read the profile.
DEPS="$(dpkg-deb -f "$DEB" Depends | sed 's/([^)]*)//g; s/|[^,]*//g; s/ //g')"
if [[ ! -x "$DIR/bin/systemctl" ]]; then
    echo "unit-check: debootstrap $SUITE into $DIR (log: $LOG)"
    debootstrap --variant=minbase --include="systemd,systemd-sysv,dbus,iproute2,ufw,$DEPS" \
        "$SUITE" "$DIR" http://deb.debian.org/debian >"$LOG" 2>&1 || { fail "debootstrap (see $LOG)"; exit 1; }
fi
# Installed with the container's own dpkg, still without a network (the
# container's /tmp is a fresh tmpfs, hence /var/tmp).
cp "$DEB" "$DIR/var/tmp/vexil.deb"
NSPAWN=(systemd-nspawn --quiet --register=no --keep-unit --private-network -D "$DIR")
"${NSPAWN[@]}" dpkg -i /var/tmp/vexil.deb >>"$LOG" 2>&1 || { fail "dpkg -i (see $LOG)"; exit 1; }

"${NSPAWN[@]}" --machine=vexil-unit-check -b >>"$LOG" 2>&1 </dev/null &
NSPID=$!
container_up() {
    INIT="$(ps -o pid= --ppid "$NSPID" | head -n 1 | tr -d ' ')"
    [[ -n "$INIT" ]] && [[ "$(inside systemctl is-system-running 2>/dev/null)" =~ ^(running|degraded)$ ]]
}
wait_for 90 container_up || { fail "the container did not boot (see $LOG)"; exit 1; }
pass "booted $SUITE with systemd $(inside systemctl --version | head -n 1 | cut -d' ' -f2)"

inside systemctl start vexil-server && pass "systemctl start vexil-server" || fail "systemctl start vexil-server"
listening() { inside ss -Hltn 'sport = :7778' | grep -q LISTEN; }
wait_for 10 listening && pass "listens on TCP 7778" || fail "nothing listens on TCP 7778"
UDP="$(inside ss -Hlun 'sport = :7778')"
echo "unit-check: note UDP 7778: ${UDP:-no socket (a server without the discovery answers)}"
BOTS="$(timeout 30 nsenter -t "$INIT" -a /usr/games/vexil-bots --count 1 --seconds 3 127.0.0.1 2>&1)"
[[ $? == 0 && "$BOTS" == *"1 played"* ]] && pass "a bot played 3 s" || fail "the bot could not play: $BOTS"
JOURNAL="$(inside journalctl -b -u vexil-server --no-pager -o cat)"
grep -q 'listening on TCP port 7778' <<<"$JOURNAL" && grep -q '^join: slot 0' <<<"$JOURNAL" &&
    pass "journal has the ready and join lines" || fail "journal lacks the server's lines: $JOURNAL"
inside systemd-analyze security vexil-server --no-pager --threshold=20 >>"$LOG" 2>&1 && R=pass || R=fail
$R "systemd-analyze security: $(inside systemd-analyze security vexil-server --no-pager 2>&1 | sed -n 's/.*Overall exposure level for [^:]*: //p')"
inside systemctl stop vexil-server
[[ "$(inside systemctl show vexil-server -p Result --value)" == success ]] && pass "stopped cleanly" || fail "stop: $(inside systemctl show vexil-server -p Result)"
PORTS="$(inside ufw app info vexil-server 2>&1)"
grep -qx '  7778/tcp' <<<"$PORTS" && grep -qx '  7778/udp' <<<"$PORTS" && pass "ufw app info vexil-server: 7778/tcp and 7778/udp" ||
    fail "ufw reads no profile with both ports: $PORTS"

inside systemctl poweroff
wait_for 30 not_running "$NSPID" || fail "the container did not power off"
((FAILS == 0)) && echo "unit-check: all passed" || echo "unit-check: $FAILS check(s) failed (log: $LOG)"
((FAILS == 0))
