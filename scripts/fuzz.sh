#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang++ into build-fuzz/ (or
# $BUILD_DIR-fuzz) and runs each for SECONDS (default 60), starting from its
# seeds in fuzz/corpus/<target>/. New inputs go to build-fuzz/corpus/<target>/,
# a crashing one to build-fuzz/findings/; the script fails when any target
# found something.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}-fuzz
seconds=${1:-60}
shift || true
case $seconds in
''|*[!0-9]*) echo "fuzz.sh: SECONDS must be a whole number (see the header of $0)" >&2; exit 2 ;;
esac

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for dir in "$root"/fuzz/corpus/*/; do
        targets+=("$(basename "$dir")")
    done
fi

"$root/scripts/install-deps.sh"
BUILD_DIR=$build BUILD_TARGETS="${targets[*]}" "$root/scripts/build.sh" -DTELVIOXD_FUZZ=ON \
    -DCMAKE_CXX_COMPILER=clang++ "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only"

export ASAN_OPTIONS=abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$build/findings"
failed=()
# A stop ends the running target too.
running=
trap '[ -z "$running" ] || kill -TERM "$running" 2>/dev/null; exit 143' TERM INT
for target in "${targets[@]}"; do
    work=$build/corpus/$target
    mkdir -p "$work"
    options=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build/findings/$target-")
    [ -f "$root/fuzz/$target.dict" ] && options+=(-dict="$root/fuzz/$target.dict")
    echo "== $target: $seconds s"
    "$build/fuzz/$target" "${options[@]}" "$work" "$root/fuzz/corpus/$target" \
        >"$build/$target.log" 2>&1 &
    running=$!
    status=0
    wait "$running" || status=$?
    running=
    if [ "$status" -ne 0 ]; then
        failed+=("$target")
        tail -n 60 "$build/$target.log" >&2
    else
        grep -E '^stat::number_of_executed_units|^Done' "$build/$target.log" || true
    fi
done
if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz.sh: ${failed[*]} found a fault; the input is in $build/findings/" >&2
    exit 1
fi
