#!/usr/bin/env bash
# Builds the Debian package and checks it: lintian finds no errors, the desktop
# entry is valid, and the program installed from it into a scratch root opens
# its window and ends cleanly (the real-window smoke test of the test build).
# Usage: scripts/package.sh [TEST_BUILD_FOLDER]  (default build/test)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/packages.sh"
require_packages "${build_packages[@]}" "${package_packages[@]}"

tests="${1:-$root/build/test}"
realwindow="$tests/tests/app/tst_realwindow"
[ -x "$realwindow" ] || { echo "No real-window test at $realwindow: run scripts/test.sh" >&2; exit 1; }

build="$root/build/package"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build"
rm -f "$build"/larkspur_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
package=$(ls "$build"/larkspur_*.deb)
echo "Built $package"

echo "Checking the package with lintian"
lintian --fail-on error "$package"

scratch="$build/scratch-root"
rm -rf "$scratch"
dpkg -x "$package" "$scratch"
desktop-file-validate "$scratch/usr/share/applications/larkspur.desktop"

echo "Smoke test of the installed program"
LARKSPUR_PROGRAM="$scratch/usr/bin/Larkspur" dbus-run-session -- "$realwindow" endsWithStatusZero
