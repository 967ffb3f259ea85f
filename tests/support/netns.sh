#!/usr/bin/env bash
# Runs a test command in a private network namespace with a loopback of its
# own, so tests on the game's fixed port 7778 never meet a game or server
# already running on this machine. Fails, saying why, when no namespace can
# be made (it needs root or unprivileged user namespaces).
set -euo pipefail
if ! unshare --net true 2>/dev/null; then
    echo "netns.sh: cannot make a private network namespace (run as root): $*" >&2
    exit 1
fi
exec unshare --net -- bash -c 'ip link set lo up && exec "$@"' netns.sh "$@"
