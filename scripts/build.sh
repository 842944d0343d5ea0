#!/bin/sh
# Installs what is missing and builds the station, the virtual controller and the tests into
# build/ beside the sources; with --sanitize, into build-sanitize/ with AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
options=""
if [ "${1:-}" = "--sanitize" ]; then
    build="$root/build-sanitize"
    options="-DORLO_SANITIZE=ON"
fi
"$root/scripts/install-deps.sh"
# shellcheck disable=SC2086 # no option, or one
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo $options >/dev/null
cmake --build "$build" --parallel "$(nproc)"
