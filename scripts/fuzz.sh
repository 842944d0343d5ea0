#!/bin/sh
# Builds the fuzz targets with clang's libFuzzer under AddressSanitizer and UndefinedBehavior-
# Sanitizer into build-fuzz/ and runs each for SECONDS (default 30), starting from its seeds in
# fuzz/corpus/. Fails on a crash, a sanitizer report, an input that takes over a second, or more
# than 1 GiB of memory; the input that did it is left in build-fuzz/findings/.
#   scripts/fuzz.sh [SECONDS]
# ORLO_QT=6 in the environment builds them against Qt 6, into build-fuzz-qt6/.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
qt=${ORLO_QT:-5}
build="$root/build-fuzz"
[ "$qt" = 5 ] || build="$root/build-fuzz-qt$qt"
"$root/scripts/install-deps.sh"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DORLO_FUZZ=ON -DORLO_QT="$qt" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel "$(nproc)"
mkdir -p "$build/findings"
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
for seeds in "$root"/fuzz/corpus/*; do
    reader=$(basename "$seeds")
    corpus="$build/corpus/$reader"
    mkdir -p "$corpus"
    cp "$seeds"/* "$corpus/"
    log="$build/$reader.log"
    echo "== fuzz_$reader for $seconds s"
    set +e
    "$build/fuzz/fuzz_$reader" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=1024 \
        -print_final_stats=1 -artifact_prefix="$build/findings/$reader-" "$corpus" >"$log" 2>&1
    status=$?
    set -e
    grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" || true
    if [ "$status" -ne 0 ]; then
        echo "fuzz_$reader found an input it cannot take (exit $status):" >&2
        tail -n 40 "$log" >&2
        ls "$build/findings/$reader-"* >&2 2>/dev/null || true
        exit 1
    fi
done
