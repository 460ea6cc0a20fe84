#!/usr/bin/env bash
# Configures and builds into build/ (or $BUILD_DIR). Further arguments go to
# the configure step, e.g. -DTELVIOXD_SANITIZE=ON -DCMAKE_CXX_COMPILER=clang++;
# $BUILD_TARGETS (blank-separated) builds only those targets.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
targets=()
if [ -n "${BUILD_TARGETS:-}" ]; then
    read -ra names <<<"$BUILD_TARGETS"
    targets=(--target "${names[@]}")
fi
cmake --build "$build" -j "$(nproc)" "${targets[@]}"
