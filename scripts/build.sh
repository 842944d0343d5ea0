#!/bin/sh
# Installs what is missing and builds the station, the virtual controller and the tests into
# build/ beside the sources; with --sanitize, into build-sanitize/ with AddressSanitizer and
# UndefinedBehaviorSanitizer; with --qt6, into build-qt6/ against Qt 6 instead of Qt 5.15.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
options=""
case "${1:-}" in
--sanitize)
    build="$root/build-sanitize"
    options="-DORLO_SANITIZE=ON"
    ;;
--qt6)
    build="$root/build-qt6"
    options="-DORLO_QT=6"
    ;;
esac
"$root/scripts/install-deps.sh"
# shellcheck disable=SC2086 # no option, or one
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo $options >/dev/null
cmake --build "$build" --parallel "$(nproc)"
