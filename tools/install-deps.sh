#!/usr/bin/env bash
# Installs the Debian packages the game and its tests need, and only those
# that are missing. Safe to run any number of times.
#   tools/install-deps.sh          build and play
#   tools/install-deps.sh --tests  also what the test suite needs
set -euo pipefail

PACKAGES=(cmake ninja-build g++ pkg-config
          libsdl1.2-dev libsdl-gfx1.2-dev libsdl-net1.2-dev libsdl-ttf2.0-dev
          ttf-bitstream-vera dpkg-dev)
if [[ "${1:-}" == "--tests" ]]; then
    PACKAGES+=(libgtest-dev iproute2 util-linux xvfb xdotool x11-apps imagemagick clang libclang-rt-14-dev
               lintian desktop-file-utils systemd)
fi

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

SUDO=""
if [[ "$(id -u)" != "0" ]]; then
    SUDO="sudo"
fi
echo "Installing missing packages: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
