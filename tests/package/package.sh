#!/usr/bin/env bash
# The Debian package end to end: tools/package.sh builds it, lintian finds no
# error, it holds every installed part; unpacked, its desktop entry and unit
# pass their validators, and its launcher, run from other folders with a
# fresh HOME, shows the pre-game screen, keeps the player's files from run to
# run, and says one line and ends with 1 once its data is gone.
#   package.sh BUILD_FOLDER ARTIFACTDIR
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"
e2e_setup package "${2:?artifact folder}"
LOG="$E2E_ARTIFACTS/package.log"
"$E2E_SOURCE_DIR/tools/package.sh" --built "${1:?build folder}" >"$LOG" 2>&1 || e2e_abort "tools/package.sh failed (see $LOG)"
DEB="$(echo "$(tail -n 1 "$LOG")"/vexil_*_*.deb)"
[[ -f "$DEB" ]] || e2e_abort "no vexil_<version>_<arch>.deb (see $LOG)"
lintian --tag-display-limit 0 "$DEB" >"$E2E_ARTIFACTS/lintian.log" 2>&1 || e2e_fail "lintian: $(grep '^E:' "$E2E_ARTIFACTS/lintian.log")"
LIST="$(dpkg-deb -c "$DEB" | awk '{print $6}')"
for f in games/vexil lib/games/vexil/vexil games/vexil-server games/vexil-bots share/games/vexil/data/vera.ttf \
    share/applications/vexil.desktop share/icons/hicolor/{64x64,128x128}/apps/vexil.png \
    share/man/man6/{vexil,vexil-server,vexil-bots}.6.gz lib/systemd/system/vexil-server.service; do
    grep -qxF "./usr/$f" <<<"$LIST" || e2e_fail "the package lacks /usr/$f"
done
ROOT="$E2E_TMP/root"
dpkg-deb -x "$DEB" "$ROOT"
desktop-file-validate "$ROOT/usr/share/applications/vexil.desktop" || e2e_fail "desktop-file-validate rejects the entry"
if command -v systemd-analyze >/dev/null; then
    # The unit's program, looked for in the unpacked tree.
    sed "s|=/usr/|=$ROOT/usr/|" "$ROOT/usr/lib/systemd/system/vexil-server.service" >"$E2E_TMP/vexil-server.service"
    systemd-analyze verify --man=no "$E2E_TMP/vexil-server.service" || e2e_fail "systemd-analyze rejects the unit"
else
    e2e_log "SKIPPED the unit check: systemd-analyze is not installed"
fi

export HOME="$E2E_TMP/home"
unset XDG_DATA_HOME
PLAYER="$HOME/.local/share/vexil"
e2e_start_xvfb 1024x768x24
# Run 1 starts from nothing; run 2 finds the player's own files, which must stay.
for run in "1 800x600 " "2 640x480 keephost"; do
    read -r n size host <<<"$run"
    E2E_RUN="$E2E_TMP/elsewhere$n"
    mkdir -p "$E2E_RUN"
    e2e_start_game "$ROOT/usr/games/vexil"
    WID="$(e2e_wait_window 'Vexil!' 60)" || e2e_abort "run $n: no window; $(cat "$E2E_RUN/stderr.log")"
    e2e_window_geometry "$WID"
    [[ "${WW}x$WH" == "$size" ]] || e2e_fail "run $n: window ${WW}x$WH, expected $size"
    e2e_wait_pixel $((WX + 600)) $((WY + 50)) "212 208 200" 30 || e2e_fail "run $n: no pre-game screen"
    e2e_screenshot "package-pregame$n" >/dev/null
    e2e_click $((WX + 110)) $((WY + 370))
    e2e_wait_exit 30 || e2e_abort "run $n: the game did not end after Quit"
    [[ "$E2E_GAME_STATUS" == 0 ]] || e2e_fail "run $n: exit status $E2E_GAME_STATUS"
    [[ -s "$PLAYER/defaults.cfg" ]] || e2e_fail "run $n: no defaults.cfg in $PLAYER"
    [[ -z "$host" || "$(head -n 1 "$PLAYER/defaults.cfg")" == "$host" ]] || e2e_fail "run $n: defaults.cfg was replaced"
    printf 'keephost\nKeeper\n' >"$PLAYER/defaults.cfg"
    printf 'xres, 640\nyres, 480\ndepth, 32\n' >"$PLAYER/config.cfg"
done
rm -rf "$ROOT/usr/share/games/vexil/data"
OUT="$(cd "$E2E_TMP" && "$ROOT/usr/games/vexil" 2>&1)"
STATUS=$?
[[ "$STATUS" == 1 && -n "$OUT" && "$(wc -l <<<"$OUT")" == 1 ]] || e2e_fail "without data: status $STATUS, output '$OUT'"
e2e_finish
