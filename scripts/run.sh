#!/bin/sh
# Installs, builds and starts the station connected to the built-in virtual controller.
# With a display the window stays open until the operator closes it; without one the station
# runs under Xvfb until it is connected, a screenshot of its window is saved, and it exits.
# --grbl 1.1 has the controller speak Grbl 1.1h instead of 0.9j.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"

usage() {
    echo "usage: $0 [--grbl 0.9|1.1]" >&2
    exit 2
}
inside_display=no
grbl=0.9
while [ $# -gt 0 ]; do
    case "$1" in
    --inside-display) inside_display=yes ;;
    --grbl)
        [ $# -ge 2 ] || usage
        grbl=$2
        shift
        ;;
    *) usage ;;
    esac
    shift
done
case "$grbl" in
0.9 | 1.1) ;;
*) usage ;;
esac

if [ "$inside_display" = no ]; then
    "$root/scripts/build.sh"
fi

demo="$build/demo"
link="$demo/ttyGRBL"
mkdir -p "$demo/config/Orlo"

start_controller() {
    rm -f "$demo/received.log"
    "$build/sim/grblsim" --link "$link" --log "$demo/received.log" --baud 115200 \
        --grbl "$grbl" >"$demo/grblsim.out" 2>&1 &
    sim_pid=$!
    trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT
    trap 'exit 130' INT TERM
    for _ in $(seq 50); do
        [ -L "$link" ] && return 0
        sleep 0.1
    done
    echo "The virtual controller did not start:" >&2
    cat "$demo/grblsim.out" >&2
    exit 1
}

# The demo has a settings store of its own, so an operator's settings are never touched. Its
# port settings always lead to the virtual controller; the rest of the store is kept.
seed_store() {
    store="$demo/config/Orlo/Orlo-CNC.conf"
    kept=""
    [ -f "$store" ] && kept=$(awk '/^\[/{skip=($0=="[ComSettings]")} !skip' "$store")
    {
        [ -n "$kept" ] && printf '%s\n\n' "$kept"
        printf '[ComSettings]\nPortName=%s\nBaudrate=115200\nDataBits=8\nParity=0\n' "$link"
        printf 'StopBits=1\nFlowControl=0\nAskStatus=1\n'
    } >"$store.new"
    mv "$store.new" "$store"
}

run_headless() {
    "$build/orlo-cnc-control" >"$demo/station.log" 2>&1 &
    station_pid=$!
    connected=no
    for _ in $(seq 150); do
        if grep -qx '?' "$demo/received.log" 2>/dev/null; then
            connected=yes
            break
        fi
        sleep 0.1
    done
    sleep 1 # one more status round trip, and the green lamp painted
    shot="$build/screenshot.png"
    xwd -silent -name "Orlo_CNC_Control V1.23" | xwdtopnm 2>/dev/null | pnmtopng >"$shot"
    kill "$station_pid" 2>/dev/null || true
    wait "$station_pid" 2>/dev/null || true
    if [ "$connected" = yes ]; then
        echo "Connected to the virtual controller at $link; screenshot saved to $shot"
    else
        echo "The station did not connect within 15 s; screenshot saved to $shot" >&2
        exit 1
    fi
}

if [ "$inside_display" = no ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x900x24 -nolisten tcp" "$0" --inside-display --grbl "$grbl"
fi

start_controller
seed_store
export XDG_CONFIG_HOME="$demo/config"
if [ "$inside_display" = yes ]; then
    run_headless
else
    "$build/orlo-cnc-control"
fi
