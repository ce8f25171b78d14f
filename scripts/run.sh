#!/usr/bin/env bash
# Builds Larkspur and starts it on a demo drive inside the build folder, so
# that saving touches no system folder. Without a display it shows the
# window on a virtual one, saves a screenshot and ends the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/packages.sh"
require_packages "${build_packages[@]}"

build="$root/build/run"
drive="$build/demo-drive"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DLARKSPUR_DRIVE_ROOT="$drive" >/dev/null
cmake --build "$build"
mkdir -p "$drive/c/pelmora"
echo "Station start file: $drive/c/pelmora/pelstart.dat"

program="$build/app/Larkspur"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$program"
fi

echo "No display found: showing the window on a virtual display (Xvfb) instead."
require_packages xvfb xdotool imagemagick
source "$root/scripts/xvfb.sh"
start_xvfb
trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT

"$program" &
larkspur=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$larkspur" | head -n 1)
sleep 0.5
screenshot="$build/larkspur-window.png"
import -window "$window" "$screenshot"
echo "Screenshot of the window: $screenshot"
# QUIT ends the program as an operator would, from the keyboard: the focus
# starts in the path box, and OK and QUIT follow it.
xdotool windowfocus --sync "$window" key Tab Tab space
wait "$larkspur"
