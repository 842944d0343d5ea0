#!/bin/sh
# The built station installed into a scratch root and packed as a .deb, both looked at as a
# distribution does. Usage: tst_InstallAndPackage.sh BUILD_DIR
set -eu
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
id=org.orlo.CncControl

fail() { echo "FAIL: $*" >&2; exit 1; }

# Width and height from a PNG's header (big-endian, below 65536 here).
png_size() { od -An -tu1 -j18 -N6 "$1" | awk '{ print $1 * 256 + $2 "x" $5 * 256 + $6 }'; }

DESTDIR="$scratch/root" cmake --install "$build" --prefix /usr >/dev/null
usr=$scratch/root/usr
station=$usr/bin/orlo-cnc-control
sender=$usr/bin/orlo-send
for program in "$station" "$sender"; do [ -x "$program" ] || fail "no $program"; done

desktop=$usr/share/applications/$id.desktop
said=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$said" ] || fail "desktop-file-validate: $said"
entry() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(entry Exec | cut -d' ' -f1)" = "$(basename "$station")" ] || fail "Exec is $(entry Exec)"
icon=$(entry Icon)
[ -s "$usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon"
for size in 16 24 32 48 64 128 256; do
    png=$usr/share/icons/hicolor/${size}x$size/apps/$icon.png
    [ -f "$png" ] || fail "no $size pixel icon"
    [ "$(png_size "$png")" = "${size}x$size" ] || fail "$png is $(png_size "$png")"
done

metainfo=$usr/share/metainfo/$id.metainfo.xml
said=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli: $said"
grep -q "<id>$id</id>" "$metainfo" || fail "metainfo has another id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "metainfo does not launch $id.desktop"
grep -q "<binary>$(basename "$station")</binary>" "$metainfo" || fail "metainfo names no binary"
release=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo" | head -n 1)

# The installed station answers on its command line; help, version and mistakes without any
# display, so over SSH too. An option the toolkit takes out (-platform) reaches the toolkit.
answer() {
    expected=$1 && shift && code=0
    env -u DISPLAY -u WAYLAND_DISPLAY "$station" "$@" >"$scratch/out" 2>"$scratch/err" || code=$?
    [ "$code" = "$expected" ] || fail "'$*' ended with $code, not $expected: $(cat "$scratch/err")"
}
answer 0 --version
[ "$(cat "$scratch/out")" = "orlo-cnc-control $release" ] ||
    fail "--version says '$(cat "$scratch/out")', the newest release is $release"
answer 0 --help
grep -q -- '--port <PATH>' "$scratch/out" || fail "--help shows no --port"
answer 0 -platform offscreen --version
[ "$(cat "$scratch/out")" = "orlo-cnc-control $release" ] || fail "-platform lost --version"
for mistake in "--baud fast" "-platform offscreen --bogus"; do
    # shellcheck disable=SC2086 # the words are separate arguments
    answer 2 $mistake
    [ ! -s "$scratch/out" ] && grep -q '^Usage:' "$scratch/err" || fail "'$mistake' gave no usage"
done
said=$(env -u DISPLAY "$sender" --version) || fail "orlo-send --version: $said"
[ "$said" = "orlo-send $release" ] || fail "orlo-send --version says '$said'"

# The installed station starts, with its example program, and shows its window.
example=$usr/share/orlo-cnc-control/examples/part.nc
XDG_CONFIG_HOME=$scratch/config "$station" "$example" >"$scratch/station.log" 2>&1 &
started=$!
shown=no
for _ in $(seq 100); do
    [ -n "${DISPLAY:-}" ] && xwd -silent -name "Orlo_CNC_Control V$release" >/dev/null 2>&1 &&
        shown=yes && break
    kill -0 "$started" 2>/dev/null || break
    sleep 0.1
done
kill "$started" 2>/dev/null || fail "the installed station ended: $(cat "$scratch/station.log")"
wait "$started" 2>/dev/null || true
[ -z "${DISPLAY:-}" ] || [ "$shown" = yes ] || fail "the installed station showed no window"

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/deb" >"$scratch/cpack.log" 2>&1 ||
    fail "cpack: $(cat "$scratch/cpack.log")"
deb=$(ls "$scratch"/deb/orlo-cnc-control_*.deb)
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = orlo-cnc-control ] || fail "Package is $(field Package)"
[ "$(field Version)" = "$release" ] || fail "Version $(field Version), newest release $release"
arch=$(dpkg --print-architecture)
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is $(field Architecture)"

dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./||' | sort >"$scratch/packed"
(cd "$scratch/root" && find . ! -type d | sed 's|^\./||' | sort) >"$scratch/installed"
diff "$scratch/installed" "$scratch/packed" >"$scratch/contents" ||
    fail "the package holds other files than the install: $(cat "$scratch/contents")"

depends=$(field Depends | tr ',|' '\n\n' | sed 's/^ *//; s/[ (].*//')
for soname in $(readelf -d "$station" "$sender" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort -u); do
    owner=$(dpkg -S "*/$soname" 2>/dev/null | sed -n "s/^\([^:,]*\):$arch: .*/\1/p" | head -n 1)
    [ -n "$owner" ] || fail "no installed package holds $soname"
    echo "$depends" | grep -qx "$owner" || fail "Depends lacks $owner (for $soname): $(field Depends)"
done
echo "installed and packed: $(basename "$deb"), depends on $(field Depends)"
