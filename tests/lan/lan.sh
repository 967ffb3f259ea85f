#!/usr/bin/env bash
# Shell helpers for tests on a small LAN of network namespaces: two bridges
# (10.77.1.0/24 and 10.77.2.0/24) in the namespace the test runs in, which
# must be a private one (tests/support/netns.sh), and hosts, each a network
# namespace of its own held open by one process, joined to the bridges by
# veth pairs. The addresses exist only inside these namespaces and nothing
# is named outside them, so runs side by side cannot meet. Every process
# started here dies with the test, even a test killed outright. Source
# tests/e2e/lib.sh (failures, waits) and this, then call lan_start.
LAN_PIDS=()

# Servers, bots and hosts (whose namespaces take their veths along), then the bridges.
lan_stop() {
    ((${#LAN_PIDS[@]} == 0)) || { kill "${LAN_PIDS[@]}" 2>/dev/null; wait "${LAN_PIDS[@]}"; }
    ip link del lanbr1 2>/dev/null; ip link del lanbr2 2>/dev/null
}

# lan_start ARTIFACTDIR: refuses to run in the machine's own network
# namespace, then makes the two bridges. Chains to an EXIT trap already set.
lan_start() {
    LANART="$1"
    mkdir -p "$LANART"
    [[ "$(readlink /proc/self/ns/net)" != "$(readlink /proc/1/ns/net)" ]] ||
        e2e_abort "not in a private network namespace (run it through tests/support/netns.sh)"
    trap "lan_stop; $(trap -p EXIT | sed -E "s/^trap -- '(.*)' EXIT$/\1/")" EXIT
    ip link add lanbr1 type bridge && ip link set lanbr1 up && ip link add lanbr2 type bridge && ip link set lanbr2 up ||
        e2e_abort "cannot make the bridges"
}

# lan_run HOST COMMAND...: runs COMMAND in that host's network namespace.
lan_run() {
    local holder="LANHOST_$1"
    nsenter -t "${!holder}" -n -- "${@:2}"
}

# lan_spawn HOST LOG COMMAND...: the same in the background, output to LOG;
# COMMAND's own pid is left in LAN_SPAWNED.
lan_spawn() {
    local holder="LANHOST_$1"
    nsenter -t "${!holder}" -n -- setpriv --pdeathsig KILL "${@:3}" >"$2" 2>&1 &
    LAN_SPAWNED=$! LAN_PIDS+=($!)
}

# lan_host HOST N.LAST...: a new host, its holder's pid in LANHOST_HOST,
# with an interface ethN on bridge N at 10.77.N.LAST/24 for each N.LAST.
lan_host() {
    setpriv --pdeathsig KILL unshare --net -- bash -c 'ip link set lo up && exec sleep 3600' &
    local pid=$! link n outside
    LAN_PIDS+=("$pid")
    printf -v "LANHOST_$1" %s "$pid"
    e2e_wait 5 lan_run "$1" ip -o link show lo up >/dev/null || e2e_abort "host $1 did not come up"
    for link in "${@:2}"; do
        n="${link%.*}" outside="l${n}x${pid}x${link#*.}"  # unique here; renamed inside the host
        ip link add "$outside" type veth peer name "i$outside" && ip link set "$outside" master "lanbr$n" up &&
            ip link set "i$outside" netns "$pid" && lan_run "$1" ip link set "i$outside" name "eth$n" &&
            lan_run "$1" ip addr add "10.77.$link/24" brd + dev "eth$n" && lan_run "$1" ip link set "eth$n" up ||
            e2e_abort "cannot link $1 to lanbr$n"
    done
}

# lan_serve HOST NAME BOTS BUILD_FOLDER: vexil-server --name NAME on HOST
# (its log ART/NAME.log, its pid in LANSERVER_NAME) and BOTS bots playing on it.
lan_serve() {
    lan_spawn "$1" "$LANART/$2.log" "$4/server/vexil-server" --name "$2"
    printf -v "LANSERVER_$2" %s "$LAN_SPAWNED"
    e2e_wait 20 grep -q "listening" "$LANART/$2.log" || e2e_abort "server $2 did not start: $(head -c 300 "$LANART/$2.log")"
    lan_spawn "$1" "$LANART/bots$2.log" "$4/bots/vexil-bots" --count "$3" --name "bot$2" 127.0.0.1
    e2e_wait 20 eval "((\$(grep -c '^join: ' '$LANART/$2.log') == $3))" || e2e_abort "the bots of $2 did not join"
}

# lan_two_servers BUILD_FOLDER: the LAN every finder test starts from. srvA
# serves "Alpha" with one bot and is on both bridges (10.77.1.2 and
# 10.77.2.2); srvB serves "Bravo" with two bots on bridge 1 (10.77.1.3);
# the host "finder" is on both bridges (10.77.1.10 and 10.77.2.10).
lan_two_servers() {
    lan_host srvA 1.2 2.2 && lan_host srvB 1.3 && lan_host finder 1.10 2.10
    lan_serve srvA Alpha 1 "$1" && lan_serve srvB Bravo 2 "$1"
}
