#!/usr/bin/env bash
# Installs the Debian packages the game and its tests need, and only those
# that are missing. Safe to run any number of times, on Debian 12 or 13:
# every name here is one both releases know (no version pins).
#   tools/install-deps.sh          build and play
#   tools/install-deps.sh --tests  also what the test suite needs
#   tools/install-deps.sh --unit-check  also what tools/unit-check.sh needs
set -euo pipefail

PACKAGES=(cmake ninja-build g++ pkg-config
          libsdl1.2-dev libsdl-gfx1.2-dev libsdl-net1.2-dev libsdl-ttf2.0-dev
          ttf-bitstream-vera dpkg-dev)
if [[ "${1:-}" == "--tests" ]]; then
    # libsdl1.2-compat: the end-to-end tests also run on sdl12-compat, which
    # installs beside the classic SDL 1.2 where that still exists (Debian 12).
    PACKAGES+=(libgtest-dev iproute2 util-linux xvfb xdotool x11-apps imagemagick clang libclang-rt-dev
               lintian desktop-file-utils systemd libsdl1.2-compat)
elif [[ "${1:-}" == "--unit-check" ]]; then
    # A minimal Debian root, booted under systemd in a container.
    PACKAGES+=(debootstrap systemd-container iproute2)
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
