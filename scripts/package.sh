#!/bin/sh
# Installs what is missing, builds the station and packs it as a Debian package in build/, whose
# dependencies dpkg-shlibdeps computes from the libraries the station loads.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"
cd "$root/build"
cpack -G DEB
