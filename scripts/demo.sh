#!/usr/bin/env bash
# The demonstration. The module simulator serves sim/demo-line.json on a
# pseudo-terminal linked as COM1 of a program folder of its own; TELVIOXD
# starts in that folder with auto-run on the demonstration's conversation list
# (default.cnv) and serves the modules' values as items on D-Bus; this script
# prints every change of the items (telvioxd-dde advise) until Ctrl+C.
# Without a display the program runs offscreen; without a session bus the
# script starts one. Builds what it needs first (into build/ or $BUILD_DIR;
# a BUILD_DIR that already holds the programs, in bin/ or itself, is used as
# it is when it is no build tree).
#
#   scripts/demo.sh               serve and print the live items until Ctrl+C
#   scripts/demo.sh --seconds N   the same, stopping by itself after N seconds
#   scripts/demo.sh --io [LINE]   read every module of a line file once through
#                                 telvioxd-io instead (default: the demo line)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
case $build in /*) ;; *) build=$PWD/$build ;; esac
bin=$build/bin
if [ ! -x "$bin/telvioxd-sim" ] && [ -x "$build/telvioxd-sim" ]; then
    bin=$build
fi
demo_line=$root/sim/demo-line.json

all_args=("$@")
mode=serve
seconds=
line_file=$demo_line
while [ $# -gt 0 ]; do
    case $1 in
    --seconds) seconds=${2:?--seconds needs a number}; shift 2 ;;
    --io) mode=io; shift; if [ $# -gt 0 ]; then line_file=$1; shift; fi ;;
    -h|--help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "demo.sh: unknown argument $1 (see --help)" >&2; exit 2 ;;
    esac
done

# The programs need a session bus for the items; the demo brings its own when
# there is none.
if [ "$mode" = serve ] && [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && [ -z "${TELVIOXD_DEMO_BUS:-}" ]; then
    if command -v dbus-run-session >/dev/null; then
        TELVIOXD_DEMO_BUS=1 exec dbus-run-session -- bash "$0" "${all_args[@]}"
    fi
fi
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=$(mktemp -d "${TMPDIR:-/tmp}/telvioxd-runtime.XXXXXX")
    chmod 0700 "$XDG_RUNTIME_DIR"
    export XDG_RUNTIME_DIR
fi
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    export QT_QPA_PLATFORM=offscreen
fi

targets=(telvioxd-sim telvioxd-io)
[ "$mode" = serve ] && targets+=(telvioxd telvioxd-dde telvioxd-cnv)
missing=no
for t in "${targets[@]}"; do
    [ -x "$bin/$t" ] || missing=yes
done
if [ "$missing" = yes ]; then
    "$root/scripts/install-deps.sh"
    BUILD_DIR=$build "$root/scripts/build.sh"
    bin=$build/bin
elif [ -f "$build/CMakeCache.txt" ]; then
    # Already built: bring the programs up to date, quietly unless it fails.
    if ! log=$(cmake --build "$build" --target "${targets[@]}" 2>&1); then
        echo "$log" >&2
        exit 1
    fi
fi

home=$(mktemp -d "${TMPDIR:-/tmp}/telvioxd-demo.XXXXXX")
mkdir -p "$home/ports"
# The traffic log outlives the demo's folder, to be read afterwards.
traffic_log=$(mktemp "${TMPDIR:-/tmp}/telvioxd-traffic.XXXXXX")
sim_pid=
program_pid=
advise_pids=()
stop_all() {
    for pid in "${advise_pids[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
    done
    if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
        kill -TERM "$program_pid"
        wait "$program_pid" || true
    fi
    program_pid=
    if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
        kill -TERM "$sim_pid"
        wait "$sim_pid" || true
    fi
    sim_pid=
}
trap 'stop_all; rm -rf "$home"' EXIT
trap 'exit 130' INT TERM

start_simulator() {
    "$bin/telvioxd-sim" --line "$line_file" --link "$home/ports/com1" --log "$traffic_log" \
        >"$home/ready" 2>&1 &
    sim_pid=$!
    for _ in $(seq 100); do
        grep -q 'serving' "$home/ready" 2>/dev/null && break
        if ! kill -0 "$sim_pid" 2>/dev/null; then
            echo "The simulator did not start:" >&2
            cat "$home/ready" >&2
            exit 1
        fi
        sleep 0.1
    done
    if ! grep -q 'serving' "$home/ready"; then
        echo "The simulator did not report ready:" >&2
        cat "$home/ready" >&2
        exit 1
    fi
    served=$(sed -n 's/.*serving \([0-9]*\) modules.*/\1/p' "$home/ready")
    echo "Traffic log of the simulated line: $traffic_log"
}

# Every module of the line file read once through telvioxd-io. The line file
# is read one module per line with its address (slot modules: with their slot),
# as the demo line file is laid out.
read_modules_once() {
    local re_name='"name"[[:space:]]*:[[:space:]]*"([^"]+)"'
    local re_hex_address='"address"[[:space:]]*:[[:space:]]*"(0[xX])?([0-9A-Fa-f]{1,2})"'
    local re_dec_address='"address"[[:space:]]*:[[:space:]]*([0-9]+)'
    local re_baud='"baud"[[:space:]]*:[[:space:]]*([0-9]+)'
    local re_checksum='"checksum"[[:space:]]*:[[:space:]]*true'
    local re_slot='"slot"[[:space:]]*:[[:space:]]*([0-9]+)'
    local modules=() # "address baud checksum slot name"; slot "-" for a module on the line
    local top_level=0 address= baud= checksum= name text
    while IFS= read -r text; do
        [[ $text =~ $re_name ]] || continue
        name=${BASH_REMATCH[1]}
        if [[ $text =~ $re_slot ]]; then
            [ -n "$address" ] || continue
            modules+=("$address $baud $checksum ${BASH_REMATCH[1]} $name")
            continue
        fi
        if [[ $text =~ $re_hex_address ]]; then
            address=$(printf '%02X' "0x${BASH_REMATCH[2]}")
        elif [[ $text =~ $re_dec_address ]]; then
            address=$(printf '%02X' "${BASH_REMATCH[1]}")
        else
            continue
        fi
        baud=9600
        [[ $text =~ $re_baud ]] && baud=${BASH_REMATCH[1]}
        checksum=no
        [[ $text =~ $re_checksum ]] && checksum=yes
        top_level=$((top_level + 1))
        modules+=("$address $baud $checksum - $name")
    done <"$line_file"

    if [ "$top_level" != "$served" ]; then
        echo "Found $top_level modules in $line_file but the simulator serves $served;" \
             "this script reads a line file with one module per line." >&2
        exit 1
    fi

    echo "Simulated line: $(basename "$line_file"), $served modules on COM1 ($home/ports/com1)"
    echo
    printf '%-6s %-3s %s\n' "baud" "chk" "telvioxd-io read: address [slot] model: present values"
    local failed=0 entry slot reply args
    for entry in "${modules[@]}"; do
        read -r address baud checksum slot name <<<"$entry"
        args=(--baud "$baud")
        [ "$checksum" = yes ] && args+=(--checksum)
        args+=(read "$address")
        [ "$slot" != - ] && args+=("slot=$slot")
        if ! reply=$(TELVIOXD_HOME=$home "$bin/telvioxd-io" "${args[@]}" 2>&1); then
            failed=$((failed + 1))
        fi
        printf '%-6s %-3s %s\n' "$baud" "$checksum" "$reply"
    done
    echo
    stop_all
    echo "Simulator stopped; traffic log: $(wc -l <"$traffic_log") lines in $traffic_log."
    if [ "$failed" -ne 0 ]; then
        echo "$failed module(s) did not answer." >&2
        exit 1
    fi
    echo "Try it yourself: $bin/telvioxd-io --help"
}

# TELVIOXD in the demo folder with auto-run on the demonstration list; every
# item it publishes printed as it changes.
serve() {
    echo "Simulated line: $(basename "$line_file"), $served modules on COM1 of $home"
    echo "Conversation list $home/default.cnv, served as service TELVIOXD, topic Form5:"
    "$bin/telvioxd-cnv" import "$root/sim/demo-list.json" "$home/default.cnv"
    local summary
    summary=$("$bin/telvioxd-cnv" summary --unix "$home/default.cnv")
    echo "$summary" | sed 's/^/  /'
    # Auto-run polls every conversation: one item each, in the list's order.
    local conversations
    conversations=$(grep -c '^[0-9][0-9]:' <<<"$summary")
    # COM1, search at 9600 baud without checksum, auto-run on.
    echo "1,16,0,1" >"$home/lumvex.cfg"

    # The other server the output conversation takes its value from; a loop
    # moves its set point so the module's output can be seen following it.
    "$bin/telvioxd-dde" serve DemoSource Values Setpoint=2.5 >"$home/source.log" 2>&1 &
    advise_pids+=($!)
    (
        for value in 1.25 2.5 5 7.5 10; do
            sleep 4
            "$bin/telvioxd-dde" poke DemoSource Values Setpoint "$value" >/dev/null 2>&1 || exit 0
        done
    ) &
    advise_pids+=($!)
    echo "Set point source: telvioxd-dde serve DemoSource Values Setpoint=2.5 (poked every 4 s)"

    TELVIOXD_HOME=$home "$bin/telvioxd" >"$home/telvioxd.log" 2>&1 &
    program_pid=$!
    echo "TELVIOXD started (pid $program_pid${QT_QPA_PLATFORM:+, $QT_QPA_PLATFORM})."

    local first=
    for _ in $(seq 150); do
        if ! kill -0 "$program_pid" 2>/dev/null; then
            echo "TELVIOXD ended early:" >&2
            cat "$home/telvioxd.log" >&2
            exit 1
        fi
        first=$("$bin/telvioxd-dde" --timeout 2000 request TELVIOXD Form5 Text1 2>/dev/null || true)
        [ -n "${first// /}" ] && break
        sleep 0.2
    done
    if [ -z "${first// /}" ]; then
        echo "TELVIOXD did not serve its items:" >&2
        cat "$home/telvioxd.log" >&2
        exit 1
    fi

    echo
    echo "Live items (telvioxd-dde advise TELVIOXD Form5 TextN); Ctrl+C ends the demo."
    echo "Read them yourself, e.g.: gdbus call --session --dest dde.TELVIOXD" \
         "--object-path /Form5 --method dde.Topic.Request Text1"
    echo
    local n item
    for n in $(seq "$conversations"); do
        item=Text$n
        "$bin/telvioxd-dde" advise TELVIOXD Form5 "$item" \
            > >(while IFS= read -r text; do printf '%s  %-6s|%s|\n' "$(date +%T)" "$item" "$text"; done) &
        advise_pids+=($!)
    done

    if [ -n "$seconds" ]; then
        sleep "$seconds"
    else
        wait "$program_pid" || true
    fi
    stop_all
    echo
    echo "TELVIOXD and the simulator stopped; traffic log: $(wc -l <"$traffic_log") lines in $traffic_log."
}

start_simulator
if [ "$mode" = io ]; then
    read_modules_once
else
    serve
fi
