#!/bin/sh
# Installs what is missing, builds the station and packs it as a Debian package in build/, whose
# dependencies dpkg-shlibdeps computes from the libraries the station loads; with --qt6, the
# station built against Qt 6, packed in build-qt6/.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
if [ "${1:-}" = "--qt6" ]; then
    build="$root/build-qt6"
    "$root/scripts/build.sh" --qt6
else
    "$root/scripts/build.sh"
fi
cd "$build"
cpack -G DEB
