#!/bin/sh
# Installs, builds and runs the whole test suite. Widget and OpenGL tests need a display; they
# get a virtual one (Xvfb with Mesa's software renderer) of their own.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"
cd "$root/build"
export QT_LOGGING_RULES="orlo.*.debug=false"
export LIBGL_ALWAYS_SOFTWARE=1
xvfb-run -a -s "-screen 0 1600x1200x24 -nolisten tcp" \
    ctest --output-on-failure --timeout 600 "$@"
