#!/usr/bin/env bash
# The test command: installs what is missing, builds, and runs every test on a
# private D-Bus session bus without a display.
#
#   scripts/test.sh [CTEST ARGS]             build/ (or $BUILD_DIR) with the
#                                            default compiler
#   scripts/test.sh --sanitize [CTEST ARGS]  build-sanitize/ (or
#                                            $BUILD_DIR-sanitize) with clang++,
#                                            AddressSanitizer and
#                                            UndefinedBehaviorSanitizer; any
#                                            finding fails its test
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

sanitize=no
if [ "${1:-}" = --sanitize ]; then
    sanitize=yes
    shift
fi

"$root/scripts/install-deps.sh"
if [ "$sanitize" = yes ]; then
    # Beside the plain tree: one tree per compiler and set of flags.
    build=${BUILD_DIR:-$root/build}-sanitize
    # -O1 with line tables: quicker to build than the plain tree and still
    # readable stacks; assertions stay on.
    BUILD_DIR=$build "$root/scripts/build.sh" -DTELVIOXD_SANITIZE=ON \
        -DCMAKE_CXX_COMPILER=clang++ "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only"
    # Qt is built without frame pointers: the slow unwinder gives a leak's
    # whole stack.
    export ASAN_OPTIONS=detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:fast_unwind_on_malloc=0
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
    if [ -z "${ASAN_SYMBOLIZER_PATH:-}" ]; then
        for symbolizer in llvm-symbolizer llvm-symbolizer-14; do
            if command -v "$symbolizer" >/dev/null; then
                export ASAN_SYMBOLIZER_PATH=$(command -v "$symbolizer")
                break
            fi
        done
    fi
else
    build=${BUILD_DIR:-$root/build}
    BUILD_DIR=$build "$root/scripts/build.sh"
fi

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/telvioxd-runtime.XXXXXX)}
chmod 0700 "$XDG_RUNTIME_DIR"
cd "$build"
dbus-run-session -- ctest --output-on-failure -j 2 -LE benchmark "$@"
