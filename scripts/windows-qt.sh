#!/usr/bin/env bash
# Builds the Qt 6.4.2 for Windows that scripts/windows.sh builds against, and
# the host tools of the same Qt that a cross-build needs (moc, rcc, uic), from
# Debian 12's qt6-base source package, whatever this machine's release:
#   host     the host tools, linked against a static QtCore, so that they run
#            on any release with glibc 2.34 and GCC 12's libstdc++ or newer
#            (about 10 minutes on 2 cores)
#   windows  QtCore, QtGui, QtWidgets and QtTest as DLLs, with MinGW-w64
#            (posix threads): the windows, offscreen and minimal platforms and
#            the windowsvista style; and the source's copyright file, which
#            the packages ship as Qt's notice (about 45 minutes on 2 cores)
# Usage: scripts/windows-qt.sh [host|windows]  (both when neither is named;
# windows needs host). The test command never runs it. Writes
#   build/windows-qt/qt-6.4.2-host-x86_64-linux-gnu.tar.xz
#   build/windows-qt/qt-6.4.2-mingw-w64-x86_64.tar.xz
# side by side, as scripts/windows.sh looks for them: LARKSPUR_WINDOWS_QT
# then names the second.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/packages.sh"
require_packages "${build_packages[@]}" g++-mingw-w64-x86-64-posix dpkg-dev curl \
    ca-certificates xz-utils perl file

version=6.4.2
source_version=6.4.2+dfsg-10
# The source package's description, pinned: it pins the tarballs in turn,
# which dpkg-source checks as it unpacks them.
dsc=qt6-base_$source_version.dsc
dsc_sha256=1b4b5c8610a553d4211fa81e268b1a3b0a6339ae5444fdb7e60d7616da651970
host_name="qt-$version-host-x86_64-linux-gnu"
windows_name="qt-$version-mingw-w64-x86_64"
work="$root/build/windows-qt"
stages=("$@")
[ $# -gt 0 ] || stages=(host windows)
mkdir -p "$work"
cd "$work"

# From the pool of the mirror this machine's packages come from, which keeps
# Debian 12's source while Debian 12 is supported; snapshot.debian.org keeps
# it for good.
fetch_source() {
    [ -d "qt6-base-$version+dfsg" ] && return 0
    local mirror file
    mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1)
    mirror=${mirror:-http://deb.debian.org/debian}
    for file in "$dsc" "qt6-base_$version+dfsg.orig.tar.xz" "qt6-base_$source_version.debian.tar.xz"; do
        [ -s "$file" ] || curl -fsSLo "$file" "$mirror/pool/main/q/qt6-base/$file" || {
            echo "Cannot fetch $file from $mirror; put it in $work" \
                "(https://snapshot.debian.org/package/qt6-base/$source_version/)" >&2
            exit 1
        }
    done
    echo "$dsc_sha256  $dsc" | sha256sum -c --quiet
    dpkg-source -x "$dsc" >/dev/null
}

# Only what a cross-build needs: no GUI, no libraries of the machine (ICU,
# glib, zstd, journald), so the tools run on other releases too.
build_host() {
    rm -rf host-build "$host_name.full" "$host_name"
    mkdir host-build
    (cd host-build &&
        "../qt6-base-$version+dfsg/configure" -prefix "$work/$host_name.full" -release -static \
            -nomake examples -nomake tests -no-gui -no-widgets -no-opengl -no-dbus -no-icu \
            -no-glib -qt-zlib -qt-pcre -qt-doubleconversion -no-zstd -no-feature-sql \
            -no-feature-network -no-feature-xml -no-feature-concurrent -no-feature-testlib \
            -no-feature-printsupport -no-feature-journald -no-feature-syslog \
            -no-feature-system-libb2 -- -G Ninja &&
        cmake --build . --parallel "$(nproc)" && cmake --install .)
    # The tools and their CMake packages; not the static QtCore, its headers
    # or the host's own Qt packages, so that a cross-build cannot take this
    # for a Qt to build against.
    cp -a "$host_name.full" "$host_name"
    rm -rf "$host_name"/{include,doc,modules,mkspecs/modules,lib/*.a,lib/*.prl,lib/pkgconfig}
    rm -rf "$host_name"/lib/{objects-*,metatypes} "$host_name"/bin/qt-{cmake,configure-module}*
    rm -rf "$host_name"/lib/cmake/{Qt6,Qt6Core,Qt6BuildInternals,Qt6ZlibPrivate,Qt6Bundled*}
    rm -f "$host_name"/libexec/{android_emulator_launcher.sh,ensure_pro_file.cmake}
    rm -f "$host_name"/libexec/{qt-internal-configure-tests,qt-testrunner.py}
    find "$host_name/libexec" "$host_name/bin" -type f -perm -u+x -exec sh -c \
        'file -b "$1" | grep -q ELF && strip --strip-unneeded "$1"' sh {} \;
    printf '[Paths]\nPrefix=..\n' >"$host_name/bin/qt.conf"
    tar -cJf "$host_name.tar.xz" "$host_name"
    echo "Built $work/$host_name.tar.xz"
}

# Bundled libraries and no OpenGL, D-Bus, ICU, SQL, network, printing,
# concurrency or XML: what Larkspur and its tests need, and no more. Debian's
# source leaves out the wintab headers that tablet events need. No Android
# deployment either, whose test runner the GUI-less host tools lack.
build_windows() {
    [ -d "$host_name.full" ] || { echo "Build the host tools first: $0 host" >&2; exit 1; }
    rm -rf windows-build "$windows_name"
    mkdir windows-build
    (cd windows-build &&
        "../qt6-base-$version+dfsg/configure" -prefix "$work/$windows_name" -xplatform win32-g++ \
            -qt-host-path "$work/$host_name.full" -release -optimize-size -nomake examples \
            -nomake tests -no-opengl -no-dbus -no-icu -qt-zlib -qt-pcre -qt-libpng -qt-libjpeg \
            -qt-freetype -qt-harfbuzz -no-feature-sql -no-feature-network \
            -no-feature-printsupport -no-feature-concurrent -no-feature-xml \
            -no-feature-tabletevent -no-feature-androiddeployqt \
            -- -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
            -DQT_HOST_PATH_CMAKE_DIR="$work/$host_name.full/lib/cmake" &&
        cmake --build . --parallel "$(nproc)" && cmake --install .)
    find "$windows_name" -name '*.dll' -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
    mkdir -p "$windows_name/share/doc/qt6-base"
    cp "qt6-base-$version+dfsg/debian/copyright" "$windows_name/share/doc/qt6-base/copyright"
    echo "$source_version" >"$windows_name/share/doc/qt6-base/source-version"
    tar -cJf "$windows_name.tar.xz" "$windows_name"
    echo "Built $work/$windows_name.tar.xz: set LARKSPUR_WINDOWS_QT to it"
}

fetch_source
for stage in "${stages[@]}"; do
    case $stage in
    host) build_host ;;
    windows) build_windows ;;
    *) echo "No stage named $stage: host or windows" >&2; exit 1 ;;
    esac
done
