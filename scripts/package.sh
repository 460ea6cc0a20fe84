#!/usr/bin/env bash
# Builds the Debian package: configures build/ (or $BUILD_DIR) for /usr,
# builds, and writes telvioxd_VERSION_ARCH.deb into build/package/ (or the
# folder given). Install it with `sudo apt install ./build/package/telvioxd_*.deb`.
#
#   scripts/package.sh [OUTPUT_FOLDER]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
out=${1:-$build/package}
case $out in /*) ;; *) out=$PWD/$out ;; esac

command -v dpkg-shlibdeps >/dev/null || {
    echo "package.sh: dpkg-shlibdeps is missing (apt-get install dpkg-dev)" >&2
    exit 1
}
BUILD_DIR=$build "$root/scripts/build.sh" -DCMAKE_INSTALL_PREFIX=/usr
mkdir -p "$out"
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
rm -rf "$out/_CPack_Packages"
ls "$out"/telvioxd_*.deb
