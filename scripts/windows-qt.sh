#!/usr/bin/env bash
# Builds the Qt 6.4.2 for Windows that scripts/windows.sh builds against,
# from Debian's own qt6-base source package, with MinGW-w64 (posix threads):
# QtCore, QtGui, QtWidgets and QtTest as DLLs, the windows, offscreen and
# minimal platforms and the windowsvista style. About 45 minutes on 2 cores;
# the test command never runs it. Writes
#   build/windows-qt/qt-6.4.2-mingw-w64-x86_64.tar.xz
# which LARKSPUR_WINDOWS_QT then names. As root: it may add a deb-src entry
# for Debian's sources to apt's lists.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/packages.sh"
require_packages "${build_packages[@]}" g++-mingw-w64-x86-64-posix qt6-base-dev-tools dpkg-dev \
    xz-utils perl

version=6.4.2
name="qt-$version-mingw-w64-x86_64"
work="$root/build/windows-qt"
mkdir -p "$work"
cd "$work"

# Debian's sources of the Qt installed here, from the mirror its packages come from.
package="qt6-base=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)"
if ! apt-get source --print-uris "$package" >/dev/null 2>&1; then
    sources=/etc/apt/sources.list.d/debian.sources
    [ -f "$sources" ] || { echo "Add a deb-src line for Debian's sources to apt, then run again" >&2; exit 1; }
    echo "Adding Debian's sources (deb-src) to apt's lists"
    sed 's/^Types: deb$/Types: deb-src/' "$sources" >/etc/apt/sources.list.d/larkspur-deb-src.sources
    apt-get update -qq
fi
[ -d "qt6-base-$version+dfsg" ] || apt-get source -qq "$package"

# Bundled libraries and no OpenGL, D-Bus, ICU, SQL, network, printing,
# concurrency or XML: what Larkspur and its tests need, and no more. Debian's
# source leaves out the wintab headers that tablet events need.
rm -rf build "$name"
mkdir build
cd build
"../qt6-base-$version+dfsg/configure" -prefix "$work/$name" -xplatform win32-g++ \
    -qt-host-path /usr -release -optimize-size -nomake examples -nomake tests \
    -no-opengl -no-dbus -no-icu -qt-zlib -qt-pcre -qt-libpng -qt-libjpeg -qt-freetype \
    -qt-harfbuzz -no-feature-sql -no-feature-network -no-feature-printsupport \
    -no-feature-concurrent -no-feature-xml -no-feature-tabletevent \
    -- -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
cmake --build . --parallel "$(nproc)"
cmake --install .

cd "$work"
find "$name" -name '*.dll' -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
tar -cJf "$name.tar.xz" "$name"
echo "Built $work/$name.tar.xz: set LARKSPUR_WINDOWS_QT to it"
