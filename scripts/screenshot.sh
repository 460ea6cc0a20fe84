#!/usr/bin/env bash
# Takes docs/screenshot.png: TELVIOXD serving the demonstration line (as
# scripts/demo.sh runs it) on a virtual X display, with the server window
# brought back through the Tray menu. With --search, docs/search.png instead:
# the search window part-way through a search of sim/search-line.json. With
# --monitor, docs/monitor.png: the line monitor over the demonstration line
# with the counter at address 08 silenced.
# Needs xvfb-run, xdotool and ImageMagick's import (apt-get install xvfb
# xdotool imagemagick).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
bin=$build/bin
mode=${TELVIOXD_SHOT_MODE:-serve}
case "${1:-}" in
--search) mode=search; shift ;;
--monitor) mode=monitor; shift ;;
esac
default_out=$root/docs/screenshot.png
[ "$mode" = search ] && default_out=$root/docs/search.png
[ "$mode" = monitor ] && default_out=$root/docs/monitor.png
out=${1:-$default_out}

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
    TELVIOXD_SHOT_INSIDE=1 TELVIOXD_SHOT_MODE=$mode exec dbus-run-session -- \
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

line=$root/sim/demo-line.json
[ "$mode" = search ] && line=$root/sim/search-line.json
if [ "$mode" = monitor ]; then
    # A fault of the line file: the module at 08 stops answering.
    sed 's/^  "wireTime": false,$/&\n  "faults": [{"address": 8, "kind": "noReply"}],/' \
        "$line" >"$home/line.json"
    grep -q '"faults"' "$home/line.json" || { echo "screenshot.sh: cannot silence 08" >&2; exit 1; }
    line=$home/line.json
fi
"$bin/telvioxd-sim" --line "$line" --link "$home/ports/com1" \
    --log "$home/sim.log" >"$home/sim.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    grep -q serving "$home/sim.out" 2>/dev/null && break
    sleep 0.1
done
if [ "$mode" = search ]; then
    # COM1, the search at 19200 and 9600 bit/s (mask bits 6 and 7), checksum
    # retry on, no auto-run.
    echo "1,192,1,0" >"$home/lumvex.cfg"
else
    "$bin/telvioxd-cnv" import "$root/sim/demo-list.json" "$home/default.cnv" >/dev/null
    echo "1,16,0,1" >"$home/lumvex.cfg"
fi
TELVIOXD_HOME=$home "$bin/telvioxd" >"$home/telvioxd.log" 2>&1 &
pids=("$!" "${pids[@]}")

# The first visible window whose name matches, waited for up to 10 s; empty
# when none came.
visible_window() {
    local id=
    for _ in $(seq 50); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
        [ -n "$id" ] && break
        sleep 0.2
    done
    echo "$id"
}

# Auto-run names the loaded file in the caption; without it the caption is the
# program's name.
caption='^Working file'
[ "$mode" = search ] && caption='^TELVIOXD$'
main=
for _ in $(seq 100); do
    main=$(xdotool search --onlyvisible --name "$caption" 2>/dev/null | head -1 || true)
    [ -n "$main" ] && break
    sleep 0.2
done
[ -n "$main" ] || { echo "screenshot.sh: the main window did not come up" >&2; cat "$home/telvioxd.log" >&2; exit 1; }
# Auto-run hid the server window; with no notification area here the Tray
# menu on the menu bar brings it back.
xdotool windowmove "$main" 8 8
xdotool windowfocus --sync "$main"
sleep 0.5
if [ "$mode" = search ]; then
    xdotool key --clearmodifiers alt+s
    search=$(visible_window '^Searching')
    [ -n "$search" ] || { echo "screenshot.sh: the search window did not come up" >&2; exit 1; }
    xdotool windowmove "$search" 60 60
    # The modules of the search line sit at the first twenty addresses.
    sleep "${TELVIOXD_SHOT_SECONDS:-40}"
    import -window root "$1"
    echo "Wrote $1"
    exit 0
fi
if [ "$mode" = monitor ]; then
    xdotool key --clearmodifiers alt+d
    sleep 0.5
    xdotool key m
    monitor=$(visible_window '^Line Monitor$')
    [ -n "$monitor" ] || { echo "screenshot.sh: the line monitor did not come up" >&2; exit 1; }
    xdotool windowmove "$monitor" 20 90
    xdotool windowsize "$monitor" 1560 780
    # Ticks enough for the silent module's time-outs to show.
    sleep "${TELVIOXD_SHOT_SECONDS:-8}"
    import -window root "$1"
    echo "Wrote $1"
    exit 0
fi
xdotool key --clearmodifiers alt+t
sleep 0.5
xdotool key d
server=$(visible_window '^DDE Conversation Channel')
[ -n "$server" ] || { echo "screenshot.sh: the server window did not come back" >&2; exit 1; }
xdotool windowmove "$server" 380 260
# A few ticks so every item holds a value.
sleep 4
import -window root "$1"
echo "Wrote $1"
