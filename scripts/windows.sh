#!/usr/bin/env bash
# Cross-builds Larkspur and its tests for 64-bit Windows with MinGW-w64 and
# runs them as Windows programs under Wine: every portable and Windows-only
# test with CTest, then the real window of Larkspur.exe, driven from Linux
# by the Linux build's real-window test; then makes the installer, the MSI
# and the portable zip, signed as a release is (a key on a token, every
# signature time-stamped; scripts/test-signing.sh), and installs, uses,
# upgrades and removes them in a prefix of their own.
# Usage: scripts/windows.sh [LINUX_TEST_BUILD_FOLDER]  (default build/test)
# LARKSPUR_WINDOWS_QT names the Qt 6.4.2 for Windows to build against: its
# folder, or its .tar.xz; scripts/windows-qt.sh builds one. Without it the
# Windows build is skipped.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/packages.sh"
source "$root/scripts/test-signing.sh"

sdk="${LARKSPUR_WINDOWS_QT:-}"
if [ -z "$sdk" ]; then
    echo "Windows build skipped: no Qt for Windows given; set LARKSPUR_WINDOWS_QT to its folder" \
        "or tarball (scripts/windows-qt.sh builds one from Debian's source)."
    exit 0
fi
[ -e "$sdk" ] || { echo "LARKSPUR_WINDOWS_QT: no such file or folder: $sdk" >&2; exit 1; }
require_packages "${build_packages[@]}" "${windows_packages[@]}"

linux_tests="${1:-$root/build/test}"
realwindow="$linux_tests/tests/app/tst_realwindow"
[ -x "$realwindow" ] || { echo "No real-window test at $realwindow: run scripts/test.sh" >&2; exit 1; }

build="$root/build/windows"
mkdir -p "$build"
if [ -f "$sdk" ]; then
    # Unpacked once per tarball into the build folder.
    unpacked="$build/qt-sdk"
    stamp="$unpacked/.from-$(sha256sum "$sdk" | cut -c1-16)"
    if [ ! -e "$stamp" ]; then
        rm -rf "$unpacked"
        mkdir -p "$unpacked"
        tar -xf "$sdk" -C "$unpacked"
        touch "$stamp"
    fi
    sdk=$(find "$unpacked" -maxdepth 6 -name Qt6Config.cmake -path '*/lib/cmake/Qt6/*' |
        head -n 1 | sed 's#/lib/cmake/Qt6/Qt6Config.cmake$##')
    [ -n "$sdk" ] || { echo "No Qt 6 SDK in $LARKSPUR_WINDOWS_QT" >&2; exit 1; }
fi
sdk=$(cd "$sdk" && pwd)

# The notices shipped with Qt and MinGW-w64's runtime are Debian's own texts.
for notice in "LGPL-3.txt /usr/share/common-licenses/LGPL-3" \
    "GPL-3.txt /usr/share/common-licenses/GPL-3" \
    "Qt-copyright.txt /usr/share/doc/libqt6core6/copyright" \
    "MinGW-w64-GCC-copyright.txt /usr/share/doc/gcc-mingw-w64-x86-64-posix-runtime/copyright" \
    "MinGW-w64-copyright.txt /usr/share/doc/mingw-w64-x86-64-dev/copyright"; do
    read -r kept debian <<<"$notice"
    cmp -s "$root/packaging/notices/$kept" "$debian" ||
        { echo "packaging/notices/$kept is no longer $debian: copy it again" >&2; exit 1; }
done

echo "Signing with a key on a software token, time-stamped by a local authority"
start_test_signing "$build/signing"
trap 'kill "$tsa_pid" 2>/dev/null || true' EXIT
windows_options=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$sdk"
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DQT_HOST_PATH=/usr
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DCMAKE_COMPILE_WARNING_AS_ERROR=ON)

# A build that signs without time stamps stops at once and says why.
refusal=$(cmake -S "$root" -B "$build/unstamped" "${windows_options[@]}" \
    -DLARKSPUR_SIGN_TOOL=/bin/false 2>&1) && { echo "Signing without time stamps was configured" >&2; exit 1; }
grep -q "Signing needs LARKSPUR_SIGNING_TIMESTAMP_URL" <<<"$refusal" ||
    { echo "$refusal" >&2; exit 1; }
rm -rf "$build/unstamped"

echo "Cross-building for Windows against $sdk"
cmake -S "$root" -B "$build" "${windows_options[@]}" "${signing_options[@]}" >/dev/null
cmake --build "$build"

# Wine needs an X display for every program, console ones too.
xvfb_display=$(mktemp)
Xvfb -displayfd 1 -noreset -screen 0 1280x800x24 -nolisten tcp >"$xvfb_display" 2>/dev/null &
xvfb=$!
trap 'WINEPREFIX="$build/wine-prefix" wineserver -k 2>/dev/null || true; kill "$xvfb" "$tsa_pid" 2>/dev/null || true; rm -f "$xvfb_display"' EXIT
for _ in $(seq 100); do [ -s "$xvfb_display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$xvfb_display")"

echo "A new Wine prefix in $build/wine-prefix"
rm -rf "$build/wine-prefix"
WINEPREFIX="$build/wine-prefix" WINEDEBUG=-all wineboot -i >/dev/null 2>&1

echo "Running the Windows tests under Wine"
ctest --test-dir "$build" --output-on-failure -j 2

echo "The real window of Larkspur.exe under Wine"
(
    source "$build/wine-env.sh"
    LARKSPUR_WINE_PROGRAM="$build/Larkspur.exe" dbus-run-session -- "$realwindow"
)

echo "Making the installer, the MSI and the zip, signed; then installing, upgrading and removing them under Wine"
rm -f "$build"/Larkspur-*-win64.*
rm -rf "$build/older-packages" "$build/respun-packages"
# One cpack makes all three; any warning of cpack's fails the test command
# (makensis turns its own into errors).
package_log="$build/cpack.log"
(cd "$build" && cpack >"$package_log" 2>&1) || { cat "$package_log"; exit 1; }
if grep -i warning "$package_log"; then echo "cpack warned: see $package_log" >&2; exit 1; fi
# The same files as version 0.99, to install 1.00 over.
(cd "$build" && cpack -G "NSIS;External" -D CPACK_PACKAGE_VERSION=0.99 -B "$build/older-packages" \
    >"$package_log" 2>&1) || { cat "$package_log"; exit 1; }
# The same version packed again, as a rebuilt or re-signed release is.
(cd "$build" && cpack -G External -B "$build/respun-packages" >"$package_log" 2>&1) ||
    { cat "$package_log"; exit 1; }
ls "$build"/Larkspur-*-win64.*

check_p12_signing "$build/signing" "$build/package-stage/Larkspur.exe"

LARKSPUR_PACKAGES="$build" LARKSPUR_OLDER_PACKAGES="$build/older-packages" \
    LARKSPUR_RESPUN_PACKAGES="$build/respun-packages" LARKSPUR_STAGE="$build/package-stage" \
    LARKSPUR_SIGNING_CA="$signing_ca" LARKSPUR_TSA_CA="$tsa_ca" \
    LARKSPUR_PLANTED_PLUGIN="$build/planted/plantedplugin.dll" "$linux_tests/tests/app/tst_installer"
