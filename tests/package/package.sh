#!/usr/bin/env bash
# The Debian package end to end: tools/package.sh makes it from the build
# folder, lintian finds no error, it holds every installed part and a ufw
# profile for both ports; unpacked, its desktop entry and unit pass their
# validators, the unit's sandbox rates 2.0 or below, and its launcher, run
# from other folders with a fresh HOME, shows the pre-game screen, keeps the
# player's files from run to run, and says one line and ends with 1 once its
# data is gone.
#   package.sh BUILD_FOLDER ARTIFACTDIR
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"
e2e_setup package "${2:?artifact folder}" 1024x768x24
LOG="$ART/package.log"
"$E2E_SRC/tools/package.sh" --built "${1:?build folder}" >"$LOG" 2>&1 || e2e_abort "tools/package.sh failed (see $LOG)"
DEB="$(echo "$(tail -n 1 "$LOG")"/vexil_*_*.deb)"
[[ -f "$DEB" ]] || e2e_abort "no vexil_<version>_<arch>.deb (see $LOG)"
lintian --tag-display-limit 0 "$DEB" >"$ART/lintian.log" 2>&1 || e2e_fail "lintian: $(grep '^E:' "$ART/lintian.log")"
LIST="$(dpkg-deb -c "$DEB" | awk '{print $6}')"
for f in games/vexil lib/games/vexil/vexil games/vexil-{server,bots,find} share/games/vexil/data/vera.ttf \
    share/applications/vexil.desktop share/icons/hicolor/{64x64,128x128}/apps/vexil.png \
    share/man/man6/{vexil,vexil-server,vexil-bots,vexil-find}.6.gz lib/systemd/system/vexil-server.service; do
    grep -qxF "./usr/$f" <<<"$LIST" || e2e_fail "the package lacks /usr/$f"
done
ROOT="$ART/package.root"
rm -rf "$ROOT" && dpkg-deb -x "$DEB" "$ROOT"
grep -qsx 'ports=7778/tcp|7778/udp' "$ROOT/etc/ufw/applications.d/vexil-server" ||
    e2e_fail "no ufw profile /etc/ufw/applications.d/vexil-server opening 7778/tcp and 7778/udp"
desktop-file-validate "$ROOT/usr/share/applications/vexil.desktop" || e2e_fail "desktop-file-validate rejects the entry"
if command -v systemd-analyze >/dev/null; then
    # The unit's program, looked for in the unpacked tree.
    sed "s|=/usr/|=$ROOT/usr/|" "$ROOT/usr/lib/systemd/system/vexil-server.service" >"$ART/vexil-server.service"
    systemd-analyze verify --man=no "$ART/vexil-server.service" || e2e_fail "systemd-analyze rejects the unit"
    # The sandbox: exposure 2.0 or below (the threshold counts tenths).
    systemd-analyze security --offline=true --threshold=20 "$ART/vexil-server.service" >"$ART/security.log" 2>&1 ||
        e2e_fail "systemd-analyze security rates the unit's exposure $(sed -n 's/.*exposure level for [^:]*: \([0-9.]*\).*/\1/p' "$ART/security.log"), above 2.0 (see $ART/security.log)"
else
    echo "[$NAME] SKIPPED the unit check: systemd-analyze is not installed"
fi

export HOME="$ART/package.home"
unset XDG_DATA_HOME
PLAYER="$HOME/.local/share/vexil"
rm -rf "$HOME"
# Run 1 starts from nothing; run 2 finds the player's own files, which must stay.
for run in "1 800x600 " "2 640x480 keephost"; do
    read -r n size host <<<"$run"
    mkdir -p "$ART/package.elsewhere$n"
    (cd "$ART/package.elsewhere$n" && exec "$ROOT/usr/games/vexil" >stdout.log 2>stderr.log </dev/null) &
    E2E_PIDS+=($!)
    e2e_wait 120 e2e_sees pregame$n 600 50 1 1 D4D0C8 || e2e_abort "run $n: no pre-game screen"
    eval "$(xdotool getwindowgeometry --shell "$(xdotool search --name '^Vexil!$' | head -n 1)")"
    [[ "${WIDTH}x$HEIGHT" == "$size" ]] || e2e_fail "run $n: window ${WIDTH}x$HEIGHT, expected $size"
    e2e_click 110 370
    e2e_end "${E2E_PIDS[-1]}" 30 || e2e_abort "run $n: the game did not end after Quit"
    [[ "$STATUS" == 0 ]] || e2e_fail "run $n: exit status $STATUS"
    [[ -s "$PLAYER/defaults.cfg" ]] || e2e_fail "run $n: no defaults.cfg in $PLAYER"
    [[ -z "$host" || "$(head -n 1 "$PLAYER/defaults.cfg")" == "$host" ]] || e2e_fail "run $n: defaults.cfg was replaced"
    printf 'keephost\nKeeper\n' >"$PLAYER/defaults.cfg"
    printf 'xres, 640\nyres, 480\ndepth, 32\n' >"$PLAYER/config.cfg"
done
rm -rf "$ROOT/usr/share/games/vexil/data"
OUT="$(cd "$ART" && "$ROOT/usr/games/vexil" 2>&1)"
STATUS=$?
[[ "$STATUS" == 1 && -n "$OUT" && "$(wc -l <<<"$OUT")" == 1 ]] || e2e_fail "without data: status $STATUS, output '$OUT'"
e2e_finish
