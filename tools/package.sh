#!/usr/bin/env bash
# Builds the Debian package vexil_<version>_<arch>.deb: installs what is
# missing (dpkg-dev among it: dpkg-shlibdeps computes the dependencies,
# dpkg-buildflags the flags), configures a plain optimised build for the
# prefix /usr (no tests, no sanitizers) in BUILD_FOLDER (default build-deb/),
# builds it and lets CPack make the package, binaries stripped, in
# BUILD_FOLDER/packages/, whose path it prints last.
#   tools/package.sh [BUILD_FOLDER]
#   tools/package.sh --built BUILD_FOLDER   packages a build folder as it is
#                                           (the tests package their own build)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILT=0
if [[ "${1:-}" == "--built" ]]; then BUILT=1; shift; fi
BUILD="$(mkdir -p "${1:-$ROOT/build-deb}" && cd "${1:-$ROOT/build-deb}" && pwd)"
# Debian's hardening flags: stack protector, fortified functions, read-only
# relocations bound at start-up.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
"$ROOT/tools/install-deps.sh"
cd "$ROOT"  # dpkg-buildflags maps the source paths from here
[[ $BUILT == 1 ]] || cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXIL_TESTS=OFF -DVEXIL_SANITIZE=OFF \
      -DCMAKE_INSTALL_PREFIX=/usr \
      -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
      -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
[[ $BUILT == 1 ]] || cmake --build "$BUILD"
rm -rf "$BUILD/packages"
(cd "$BUILD" && cpack -G DEB -B "$BUILD/packages" -D CPACK_INSTALL_PREFIX=/usr >/dev/null)
rm -rf "$BUILD/packages/_CPack_Packages"
ls "$BUILD"/packages/vexil_*.deb >/dev/null
echo "$BUILD/packages"
