#!/bin/sh
# Installs the Debian 12 packages that building, running and testing the station need, with Qt 5
# and with Qt 6, and only those that are missing. Uses sudo when not run as root.
set -eu

PACKAGES="
    cmake g++ make pkg-config build-essential python3
    qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libqt6opengl6-dev
    libgl-dev libgl1-mesa-dri libglx-mesa0 fonts-dejavu-core libsdl2-dev
    xvfb xauth x11-apps netpbm
    dpkg-dev file binutils desktop-file-utils appstream
    clang libclang-rt-14-dev llvm
"

missing=""
for package in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    as_root=""
else
    as_root="sudo"
fi
echo "Installing:$missing"
$as_root apt-get update -qq
$as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
