#!/usr/bin/env bash
# Takes docs/screenshot.png: TELVIOXD serving the demonstration line (as
# scripts/demo.sh runs it) on a virtual X display, with the server window
# brought back through the Tray menu. Needs xvfb-run, xdotool and ImageMagick's
# import (apt-get install xvfb xdotool imagemagick).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
bin=$build/bin
out=${1:-$root/docs/screenshot.png}

if [ -z "${TELVIOXD_SHOT_INSIDE:-}" ]; then
    for tool in xvfb-run xdotool import dbus-run-session; do
        command -v "$tool" >/dev/null || { echo "screenshot.sh: $tool is missing" >&2; exit 1; }
    done
    cmake --build "$build" --target telvioxd telvioxd-sim telvioxd-cnv >/dev/null
    mkdir -p "$(dirname "$out")"
    if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
        XDG_RUNTIME_DIR=$(mktemp -d "${TMPDIR:-/tmp}/telvioxd-runtime.XXXXXX")
        chmod 0700 "$XDG_RUNTIME_DIR"
        export XDG_RUNTIME_DIR
    fi
    TELVIOXD_SHOT_INSIDE=1 exec dbus-run-session -- \
        xvfb-run -a -s "-screen 0 1600x900x24" bash "$0" "$(realpath -m "$out")"
fi

home=$(mktemp -d "${TMPDIR:-/tmp}/telvioxd-shot.XXXXXX")
mkdir -p "$home/ports"
pids=()
finish() {
    for pid in "${pids[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$home"
}
trap finish EXIT

"$bin/telvioxd-sim" --line "$root/sim/demo-line.json" --link "$home/ports/com1" \
    --log "$home/sim.log" >"$home/sim.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    grep -q serving "$home/sim.out" 2>/dev/null && break
    sleep 0.1
done
"$bin/telvioxd-cnv" import "$root/sim/demo-list.json" "$home/default.cnv"
echo "1,16,0,1" >"$home/lumvex.cfg"
TELVIOXD_HOME=$home "$bin/telvioxd" >"$home/telvioxd.log" 2>&1 &
pids=("$!" "${pids[@]}")

main=
for _ in $(seq 100); do
    main=$(xdotool search --name '^Working file' 2>/dev/null | head -1 || true)
    [ -n "$main" ] && break
    sleep 0.2
done
[ -n "$main" ] || { echo "screenshot.sh: the main window did not come up" >&2; cat "$home/telvioxd.log" >&2; exit 1; }
# Auto-run hid the server window; with no notification area here the Tray
# menu on the menu bar brings it back.
xdotool windowmove "$main" 8 8
xdotool windowfocus --sync "$main"
sleep 0.5
xdotool key --clearmodifiers alt+t
sleep 0.5
xdotool key d
server=
for _ in $(seq 50); do
    server=$(xdotool search --onlyvisible --name '^DDE Conversation Channel' 2>/dev/null | head -1 || true)
    [ -n "$server" ] && break
    sleep 0.2
done
[ -n "$server" ] || { echo "screenshot.sh: the server window did not come back" >&2; exit 1; }
xdotool windowmove "$server" 380 260
# A few ticks so every item holds a value.
sleep 4
import -window root "$1"
echo "Wrote $1"
