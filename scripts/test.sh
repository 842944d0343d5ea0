#!/bin/sh
# Installs, builds and runs the whole test suite. Widget and OpenGL tests need a display; they
# get a virtual one (Xvfb with Mesa's software renderer) of their own. Further arguments go to
# ctest, for example -R Console.
#   scripts/test.sh [--sanitize | --qt6] [CTEST ARGUMENTS]
# --sanitize builds and runs the suite under AddressSanitizer and UndefinedBehaviorSanitizer,
# stopping at the first report. Leak detection is off there: the toolkit's own caches, kept
# for the process's life, would drown the station's. --qt6 builds against Qt 6 into build-qt6/
# and runs the suite there.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
timeout=600
if [ "${1:-}" = "--sanitize" ]; then
    shift
    build="$root/build-sanitize"
    timeout=1500 # the sanitizers slow the end-to-end runs two- to threefold
    "$root/scripts/build.sh" --sanitize
    export ASAN_OPTIONS=halt_on_error=1:detect_leaks=0
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
elif [ "${1:-}" = "--qt6" ]; then
    shift
    build="$root/build-qt6"
    "$root/scripts/build.sh" --qt6
else
    "$root/scripts/build.sh"
fi
cd "$build"
export QT_LOGGING_RULES="orlo.*.debug=false"
export LIBGL_ALWAYS_SOFTWARE=1
xvfb-run -a -s "-screen 0 1600x1200x24 -nolisten tcp" \
    ctest --output-on-failure --timeout "$timeout" "$@"
