#!/usr/bin/env bash
# The test command: installs what is missing, builds, and runs every test on a
# private D-Bus session bus without a display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

"$root/scripts/install-deps.sh"
BUILD_DIR=$build "$root/scripts/build.sh"

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/telvioxd-runtime.XXXXXX)}
chmod 0700 "$XDG_RUNTIME_DIR"
cd "$build"
dbus-run-session -- ctest --output-on-failure -j 2 -LE benchmark "$@"
