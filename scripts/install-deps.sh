#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need,
# skipping those already present. clang with its runtimes and symbolizer is
# for the sanitized suite (scripts/test.sh --sanitize) and the fuzz targets;
# mosquitto and curl are the real broker and client of the publishing tests,
# dpkg-dev builds the package. Qt's HTTP server needs the WebSockets CMake
# package, which its Debian package does not pull in.
set -euo pipefail

packages=(qt6-base-dev qt6-base-dev-tools qt6-serialport-dev cmake ninja-build build-essential
          libgl-dev dbus-daemon libglib2.0-bin xvfb xauth fonts-dejavu-core
          clang libclang-rt-14-dev llvm-14
          poppler-utils
          libmosquitto-dev mosquitto mosquitto-clients qt6-httpserver-dev qt6-websockets-dev
          curl dpkg-dev)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
