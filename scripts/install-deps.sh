#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need,
# skipping those already present.
set -euo pipefail

packages=(qt6-base-dev qt6-base-dev-tools qt6-serialport-dev cmake ninja-build build-essential
          libgl-dev dbus-daemon libglib2.0-bin xvfb xauth fonts-dejavu-core
          poppler-utils)

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
