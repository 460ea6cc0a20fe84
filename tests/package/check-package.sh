#!/usr/bin/env bash
# The Debian package as a user gets it: built with cpack from the build tree,
# unpacked with dpkg-deb into a scratch root, its file list and dependencies
# checked, every program asked for its version, and a short serve of the
# demonstration list on the simulated line, all from the unpacked paths, on a
# session bus of its own.
#
#   check-package.sh BUILD_DIR
set -euo pipefail
if [ -z "${TELVIOXD_PACKAGE_BUS:-}" ]; then
    TELVIOXD_PACKAGE_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi
build=$1
scratch=$(mktemp -d "${TMPDIR:-/tmp}/telvioxd-package.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

(cd "$build" && cpack -G DEB -B "$scratch/out" >/dev/null) || fail "cpack did not build the package"
debs=("$scratch"/out/telvioxd_*.deb)
[ -f "${debs[0]}" ] || fail "no telvioxd_*.deb in $scratch/out"
deb=${debs[0]}
root=$scratch/root
dpkg-deb -x "$deb" "$root"

programs=(telvioxd telvioxd-serve telvioxd-io telvioxd-sim telvioxd-dde telvioxd-cnv)
expected=(
    usr/share/applications/telvioxd.desktop
    usr/share/icons/hicolor/64x64/apps/telvioxd.png
    usr/lib/systemd/user/telvioxd-serve@.service
    usr/share/telvioxd/telvioxd.html
    usr/share/telvioxd/telvioxd.png
    usr/share/telvioxd/on2.ico
    usr/share/telvioxd/off2.ico
    usr/share/telvioxd/no2.ico
)
for program in "${programs[@]}"; do
    expected+=("usr/bin/$program" "usr/share/man/man1/$program.1.gz")
done
for file in "${expected[@]}"; do
    [ -e "$root/$file" ] || fail "the package lacks /$file"
done
# Only what a user runs or reads: no test, benchmark or fuzzer, no build tool.
unexpected=$(dpkg-deb -c "$deb" | awk '{print $6}' |
    grep -E '/(tst_|bench|fuzz|telvioxd-icons)|/tests/|\.a$' || true)
[ -z "$unexpected" ] || fail "the package holds files it should not: $unexpected"
for program in "${programs[@]}"; do
    [ -x "$root/usr/bin/$program" ] || fail "/usr/bin/$program is not executable"
done

depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6core6 libqt6dbus6 libqt6serialport6 libqt6widgets6; do
    grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done

grep -qx 'Icon=telvioxd' "$root/usr/share/applications/telvioxd.desktop" ||
    fail "the desktop entry names no icon telvioxd"
grep -qx 'Exec=telvioxd' "$root/usr/share/applications/telvioxd.desktop" ||
    fail "the desktop entry does not start telvioxd"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/usr/share/applications/telvioxd.desktop" ||
        fail "the desktop entry does not validate"
fi
grep -q '^ExecStart=/usr/bin/telvioxd-serve ' "$root/usr/lib/systemd/user/telvioxd-serve@.service" ||
    fail "the unit does not start /usr/bin/telvioxd-serve"
if command -v systemd-analyze >/dev/null; then
    # Checks the unit as shipped; the paths it names are those of an installation.
    systemd-analyze verify --man=no "$root/usr/lib/systemd/user/telvioxd-serve@.service" \
        2>"$scratch/verify" || grep -q 'telvioxd-serve' "$scratch/verify" || true
fi
for program in "${programs[@]}"; do
    page=$root/usr/share/man/man1/$program.1.gz
    zcat "$page" | grep -q "^\.TH ${program^^} 1" || fail "$program.1 has no title line"
done

# Every program answers --version with the package's version.
version=$(dpkg-deb -f "$deb" Version)
export QT_QPA_PLATFORM=offscreen
for program in "${programs[@]}"; do
    out=$("$root/usr/bin/$program" --version) || fail "$program --version failed"
    [ "$out" = "$program $version" ] || [ "$out" = "${program} ${version}" ] ||
        grep -q "$version" <<<"$out" || fail "$program --version says '$out'"
done

# A short serve from the unpacked paths: the demonstration list on the
# simulated line, in a program folder of its own.
home=$scratch/home
mkdir -p "$home/ports"
examples=$root/usr/share/telvioxd/examples
"$root/usr/bin/telvioxd-cnv" import "$examples/demo-list.json" "$home/demo.cnv" >/dev/null ||
    fail "telvioxd-cnv could not import the example list"
"$root/usr/bin/telvioxd-sim" --line "$examples/demo-line.json" --link "$home/ports/com1" \
    --log "$home/sim.log" >"$home/sim.out" 2>&1 &
pids+=($!)
for _ in $(seq 300); do
    grep -q serving "$home/sim.out" 2>/dev/null && break
    sleep 0.1
done
grep -q serving "$home/sim.out" || fail "telvioxd-sim did not start: $(cat "$home/sim.out")"

"$root/usr/bin/telvioxd-serve" --home "$home" "$home/demo.cnv" 2>"$home/serve.err" &
serve=$!
pids+=($serve)
text=
for _ in $(seq 300); do
    kill -0 "$serve" 2>/dev/null || fail "telvioxd-serve ended early: $(cat "$home/serve.err")"
    text=$("$root/usr/bin/telvioxd-dde" --timeout 2000 request TELVIOXD Form5 Text1 2>/dev/null || true)
    [ -n "${text// /}" ] && break
    sleep 0.1
done
[ -n "${text// /}" ] || fail "no item from telvioxd-serve: $(cat "$home/serve.err")"
kill -TERM "$serve"
status=0
wait "$serve" || status=$?
[ "$status" -eq 0 ] || fail "telvioxd-serve ended with status $status: $(cat "$home/serve.err")"
grep -q 'SIGTERM: stopping' "$home/serve.err" || fail "no stop reported: $(cat "$home/serve.err")"
echo "package $(basename "$deb") checked; Text1 was '$text'"
