#!/usr/bin/env bash
# The demonstration: serves the modules of sim/demo-line.json with the module
# simulator on a pseudo-terminal linked as COM1 of a temporary program folder,
# and reads every module through telvioxd-io, one line per module.
# Builds what it needs first (into build/ or $BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
line_file=${1:-$root/sim/demo-line.json}
bin=$build/bin

if [ ! -x "$bin/telvioxd-sim" ] || [ ! -x "$bin/telvioxd-io" ]; then
    "$root/scripts/install-deps.sh"
    BUILD_DIR=$build "$root/scripts/build.sh"
else
    # Already built: bring the two programs up to date, quietly unless it fails.
    if ! log=$(cmake --build "$build" --target telvioxd-sim telvioxd-io 2>&1); then
        echo "$log" >&2
        exit 1
    fi
fi

home=$(mktemp -d "${TMPDIR:-/tmp}/telvioxd-demo.XXXXXX")
mkdir -p "$home/ports"
sim_pid=
stop_simulator() {
    if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
        kill -TERM "$sim_pid"
        wait "$sim_pid" || true
    fi
    sim_pid=
}
trap 'stop_simulator; rm -rf "$home"' EXIT
trap 'exit 130' INT TERM

"$bin/telvioxd-sim" --line "$line_file" --link "$home/ports/com1" --log "$home/sim.log" \
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

# The modules of the line file: one module per line with its address (slot
# modules: with their slot), as the demo line file is laid out.
re_name='"name"[[:space:]]*:[[:space:]]*"([^"]+)"'
re_hex_address='"address"[[:space:]]*:[[:space:]]*"(0[xX])?([0-9A-Fa-f]{1,2})"'
re_dec_address='"address"[[:space:]]*:[[:space:]]*([0-9]+)'
re_baud='"baud"[[:space:]]*:[[:space:]]*([0-9]+)'
re_checksum='"checksum"[[:space:]]*:[[:space:]]*true'
re_slot='"slot"[[:space:]]*:[[:space:]]*([0-9]+)'
modules=()   # "address baud checksum slot name"; slot "-" for a module on the line
top_level=0
address= baud= checksum=
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
failed=0
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

stop_simulator
echo "Simulator stopped; traffic log: $(wc -l <"$home/sim.log") lines."
if [ "$failed" -ne 0 ]; then
    echo "$failed module(s) did not answer." >&2
    exit 1
fi
echo "Try it yourself: $bin/telvioxd-io --help"
