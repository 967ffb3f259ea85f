#!/usr/bin/env bash
# Shell helpers for tests on a small LAN of network namespaces: two bridges
# (10.77.1.0/24 and 10.77.2.0/24) in the namespace the test runs in, which
# must be a private one (tests/support/netns.sh), and hosts, each a network
# namespace of its own held open by one process, joined to the bridges by
# veth pairs. The addresses exist only inside these namespaces; nothing is
# named outside them, so runs side by side cannot meet. Source it, then call
# lan_start. Hosts, servers and bridges go when the test ends, failed or not.
LAN_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
LAN_PIDS=()
LAN_BRIDGES=()
LAN_FAILS=0

lan_fail() { echo "[$LAN_NAME] FAIL: $*" >&2; LAN_FAILS=$((LAN_FAILS + 1)); }
lan_abort() { echo "[$LAN_NAME] ABORT: $*" >&2; exit 1; }
lan_finish() { ((LAN_FAILS == 0)) || lan_abort "$LAN_FAILS check(s) failed; logs in $LAN_ART"; echo "[$LAN_NAME] passed"; }

# lan_until SECONDS COMMAND...: runs COMMAND until it succeeds; false once SECONDS have passed.
lan_until() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < end)) || return 1
        sleep 0.1
    done
}

lan_cleanup() {
    local i b
    # Servers and bots first (newest first, 5 s each to end), then the hosts,
    # whose namespaces take their veths with them, then the bridges.
    for ((i = ${#LAN_PIDS[@]} - 1; i >= 0; i--)); do
        kill "${LAN_PIDS[i]}" 2>/dev/null
        lan_until 5 eval "! kill -0 ${LAN_PIDS[i]} 2>/dev/null" || kill -9 "${LAN_PIDS[i]}" 2>/dev/null
    done
    for b in "${LAN_BRIDGES[@]}"; do ip link del "$b" 2>/dev/null; done
    wait "${LAN_PIDS[@]}" 2>/dev/null
}

# lan_start NAME ARTIFACTDIR: refuses to run in the machine's own network
# namespace, then makes the two bridges. Chains to an EXIT trap already set.
lan_start() {
    LAN_NAME="$1" LAN_ART="$2"
    mkdir -p "$LAN_ART"
    [[ "$(readlink /proc/self/ns/net)" != "$(readlink /proc/1/ns/net)" ]] ||
        lan_abort "not in a private network namespace (run it through tests/support/netns.sh)"
    local before
    before="$(trap -p EXIT | sed -E "s/^trap -- '(.*)' EXIT$/\1/")"
    trap "lan_cleanup; $before" EXIT
    local n
    for n in 1 2; do
        ip link add "lanbr$n" type bridge && ip link set "lanbr$n" up || lan_abort "cannot make bridge lanbr$n"
        LAN_BRIDGES+=("lanbr$n")
    done
}

# lan_host HOST: a new host (network namespace with its loopback up); its
# holder's pid is left in LANHOST_HOST.
lan_host() {
    # setpriv --pdeathsig: a test killed outright takes its hosts and servers with it.
    setpriv --pdeathsig KILL unshare --net -- bash -c 'ip link set lo up && exec sleep 3600' &
    LAN_PIDS+=($!)
    printf -v "LANHOST_$1" %s $!
    lan_until 5 lan_run "$1" ip -o link show lo up >/dev/null || lan_abort "host $1 did not come up"
}

# lan_run HOST COMMAND...: runs COMMAND in that host's network namespace.
lan_run() {
    local holder="LANHOST_$1"
    shift
    nsenter -t "${!holder}" -n -- "$@"
}

# lan_spawn HOST LOG COMMAND...: the same in the background, output to LOG;
# COMMAND's own pid (stopped at the end) is left in LAN_SPAWNED.
lan_spawn() {
    local holder="LANHOST_$1" log="$2"
    shift 2
    exec {LAN_OUT}>"$log"
    nsenter -t "${!holder}" -n -- setpriv --pdeathsig KILL "$@" >&$LAN_OUT 2>&1 &
    LAN_SPAWNED=$!
    exec {LAN_OUT}>&-
    LAN_PIDS+=("$LAN_SPAWNED")
}

# lan_link HOST N LAST: an interface ethN of HOST on bridge N with the address 10.77.N.LAST/24.
lan_link() {
    local holder="LANHOST_$1"
    local outside="l$2x${!holder}x$3"  # unique here; the peer is renamed inside the host
    ip link add "$outside" type veth peer name "in$outside" &&
        ip link set "$outside" master "lanbr$2" up &&
        ip link set "in$outside" netns "${!holder}" &&
        lan_run "$1" ip link set "in$outside" name "eth$2" &&
        lan_run "$1" ip addr add "10.77.$2.$3/24" brd + dev "eth$2" &&
        lan_run "$1" ip link set "eth$2" up || lan_abort "cannot link $1 to lanbr$2"
}

# lan_serve HOST NAME VEXIL-SERVER: a dedicated server called NAME on HOST,
# its output in ART/NAME.log; its pid is left in LANSERVER_NAME.
lan_serve() {
    lan_spawn "$1" "$LAN_ART/$2.log" "$3" --name "$2"
    printf -v "LANSERVER_$2" %s "$LAN_SPAWNED"
    lan_until 20 grep -q "listening" "$LAN_ART/$2.log" || lan_abort "server $2 did not start: $(head -c 300 "$LAN_ART/$2.log")"
}

# lan_bots HOST COUNT VEXIL-BOTS SERVERNAME: COUNT bots on HOST join the
# server of that name there, seen in its log.
lan_bots() {
    lan_spawn "$1" "$LAN_ART/bots$4.log" "$3" --count "$2" --name "bot$4" 127.0.0.1
    lan_until 20 eval "((\$(grep -c '^join: ' '$LAN_ART/$4.log') >= $2))" || lan_abort "the bots of $4 did not join"
}

# lan_two_servers BUILD_FOLDER: the LAN every finder test starts from. srvA
# serves "Alpha" with one bot and is on both bridges (10.77.1.2 and
# 10.77.2.2); srvB serves "Bravo" with two bots on bridge 1 (10.77.1.3);
# the host "finder" is on both bridges (10.77.1.10 and 10.77.2.10).
lan_two_servers() {
    lan_host srvA && lan_host srvB && lan_host finder
    lan_link srvA 1 2 && lan_link srvA 2 2 && lan_link srvB 1 3 && lan_link finder 1 10 && lan_link finder 2 10
    lan_serve srvA Alpha "$1/server/vexil-server" && lan_serve srvB Bravo "$1/server/vexil-server"
    lan_bots srvA 1 "$1/bots/vexil-bots" Alpha && lan_bots srvB 2 "$1/bots/vexil-bots" Bravo
}
