#!/usr/bin/env bash
# Larkspur for 64-bit Windows, cross-built with MinGW-w64 and tested as
# Windows programs under Wine, in stages that run in this order, or one at
# a time when named:
#   build     the program, its tests and the packages' stage, signed as a
#             release is (a key on a token, every signature time-stamped;
#             scripts/test-signing.sh), after checking that a build that
#             signs without time stamps stops at configure
#   tests     every portable and Windows-only test, with CTest
#   window    the real window of Larkspur.exe, driven from Linux by the
#             Linux build's real-window test
#   packages  the installer, the MSI and the zip, those of an older version
#             and a second pack of this one; and the PKCS#12 signing route
#   install   the packages installed, used, upgraded and removed in a Wine
#             prefix of their own
# and one that runs only when named:
#   rebuild   the packages alone, unsigned, or signed by the sign command
#             LARKSPUR_REBUILD_SIGN_TOOL (scripts/verify-release.sh)
# Usage: scripts/windows.sh [LINUX_TEST_BUILD_FOLDER] [STAGE...]
# (the folder defaults to build/test). The build folder is build/windows, or
# LARKSPUR_WINDOWS_BUILD. LARKSPUR_WINDOWS_QT names the Qt 6.4.2
# for Windows to build against: its folder, or its .tar.xz;
# scripts/windows-qt.sh builds one. Without it the Windows build is skipped.
# The host tools of the same Qt come from beside it (find_host_tools).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/packages.sh"
source "$root/scripts/test-signing.sh"
source "$root/scripts/xvfb.sh"

all_stages=(build tests window packages install)
is_stage() { [[ " ${all_stages[*]} rebuild " == *" $1 "* ]]; }
linux_tests="$root/build/test"
if [ $# -gt 0 ] && ! is_stage "$1"; then
    linux_tests=$1
    shift
fi
stages=("${@:-${all_stages[@]}}")
build="${LARKSPUR_WINDOWS_BUILD:-$root/build/windows}"
mkdir -p "$build"
build=$(cd "$build" && pwd)

sdk="${LARKSPUR_WINDOWS_QT:-}"
if [ -z "$sdk" ]; then
    echo "Windows build skipped: no Qt for Windows given; set LARKSPUR_WINDOWS_QT to its folder" \
        "or tarball (scripts/windows-qt.sh builds one from Debian's source)."
    exit 0
fi
[ -e "$sdk" ] || { echo "LARKSPUR_WINDOWS_QT: no such file or folder: $sdk" >&2; exit 1; }
require_packages "${build_packages[@]}" "${windows_packages[@]}"

# What is started on the way, stopped at the end.
tsa_pid="" xvfb_pid=""
trap 'WINEPREFIX="$build/wine-prefix" wineserver -k 2>/dev/null || true
      kill $tsa_pid $xvfb_pid 2>/dev/null || true' EXIT

# The SDK, unpacked once per tarball into the build folder.
find_sdk() {
    mkdir -p "$build"
    if [ -f "$sdk" ]; then
        local unpacked="$build/qt-sdk"
        local stamp
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
    find_host_tools
    windows_options=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$sdk"
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DQT_HOST_PATH="$host"
        -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
        -DLARKSPUR_NOTICES="$build/notices")
    write_notices
}

# A cross-build needs host tools (moc, uic, rcc) of the Windows Qt's own
# version: a newer moc writes code that the older Qt cannot compile. They are
# taken from beside the Windows Qt (qt-<version>-host-*, a folder or a
# .tar.xz; LARKSPUR_WINDOWS_QT_HOST names another), or else from this
# machine's Qt where its version is the Windows Qt's.
find_host_tools() {
    local version given unpacked beside
    version=$(sed -n 's/^set(PACKAGE_VERSION "\([0-9.]*\)")$/\1/p' \
        "$sdk/lib/cmake/Qt6/Qt6ConfigVersionImpl.cmake")
    beside=("$(dirname "$LARKSPUR_WINDOWS_QT")"/qt-"$version"-host-*)
    [ -e "${beside[0]}" ] || beside=("")
    given=${LARKSPUR_WINDOWS_QT_HOST:-${beside[0]}}
    if [ -f "$given" ]; then
        unpacked="$build/qt-host"
        if [ ! -e "$unpacked/.from-$(sha256sum "$given" | cut -c1-16)" ]; then
            rm -rf "$unpacked"
            mkdir -p "$unpacked"
            tar -xf "$given" -C "$unpacked"
            touch "$unpacked/.from-$(sha256sum "$given" | cut -c1-16)"
        fi
        given=$(dirname "$(find "$unpacked" -maxdepth 3 -path '*/libexec/moc' | head -n 1)")/..
    fi
    if [ -n "$given" ] && [ -x "$given/libexec/moc" ]; then
        host=$(cd "$given" && pwd) host_cmake="$host/lib/cmake"
    elif [ "$(/usr/lib/qt6/libexec/moc -v 2>/dev/null)" = "moc $version" ]; then
        host=/usr host_cmake=/usr/lib/x86_64-linux-gnu/cmake
    else
        echo "No Qt $version host tools (moc, uic, rcc) for the Windows Qt $version: put" \
            "qt-$version-host-x86_64-linux-gnu.tar.xz, Qt's host tools built from the same" \
            "source, beside it, or name them in LARKSPUR_WINDOWS_QT_HOST. This machine's Qt" \
            "is another version: $(/usr/lib/qt6/libexec/moc -v 2>&1)." >&2
        exit 1
    fi
    echo "Host tools of Qt $version: $host"
}

# The licences and notices the packages ship, in $build/notices. The runtime
# DLLs are this machine's, so their notices are the copyright files of the
# packages that hold them, whatever those are named on this release. Qt's is
# the one its SDK carries (scripts/windows-qt.sh puts it there), or else the
# one kept in packaging/notices for the Qt 6.4.2 built from qt6-base
# $qt_source, compared with this machine's where its Qt comes from that same
# source.
qt_source=$(sed -n 's/^source_version=//p' "$root/scripts/windows-qt.sh")
write_notices() {
    local notices="$build/notices.new" dll file package source gcc_major release
    rm -rf "$notices"
    mkdir -p "$notices"
    cp "$root"/packaging/notices/{GPL-3,LGPL-3,Qt-copyright}.txt "$notices/"
    if [ -f "$sdk/share/doc/qt6-base/copyright" ]; then
        cp "$sdk/share/doc/qt6-base/copyright" "$notices/Qt-copyright.txt"
    else
        file=$(readlink -f /usr/lib/x86_64-linux-gnu/libQt6Core.so.6)
        package=$(dpkg -S "$file" | cut -d: -f1)
        if [ "$(dpkg-query -W -f='${source:Version}' "$package")" = "$qt_source" ]; then
            cmp -s "$notices/Qt-copyright.txt" "/usr/share/doc/$package/copyright" ||
                { echo "packaging/notices/Qt-copyright.txt is no longer /usr/share/doc/$package/copyright" >&2; exit 1; }
        fi
    fi
    for file in LGPL-3 GPL-3; do
        cmp -s "$notices/$file.txt" "/usr/share/common-licenses/$file" ||
            { echo "packaging/notices/$file.txt is no longer /usr/share/common-licenses/$file" >&2; exit 1; }
    done
    local -A sources=()
    for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
        file=$(readlink -f "$(x86_64-w64-mingw32-g++-posix -print-file-name="$dll")")
        package=$(dpkg -S "$file" | cut -d: -f1)
        source=$(dpkg-query -W -f='${source:Package}' "$package")
        case $source in
        gcc-mingw-w64) file=MinGW-w64-GCC-copyright.txt ;;
        mingw-w64) file=MinGW-w64-copyright.txt ;;
        *) echo "$dll comes from $package, whose notice has no name here" >&2; exit 1 ;;
        esac
        cp "/usr/share/doc/$package/copyright" "$notices/$file"
        sources[$source]="$package $source=$(dpkg-query -W -f='${source:Version}' "$package")"
    done
    gcc_major=$(x86_64-w64-mingw32-g++-posix -dumpversion | cut -d. -f1 | cut -d- -f1)
    release="Debian $(cut -d. -f1 /etc/debian_version)"
    read -r gcc_package gcc_source <<<"${sources[gcc-mingw-w64]}"
    read -r mingw_package mingw_source <<<"${sources[mingw-w64]}"
    sed -e "s/@GCC_MAJOR@/$gcc_major/g" -e "s/@RELEASE@/$release/g" \
        -e "s/@GCC_PACKAGE@/$gcc_package/g" -e "s/@MINGW_PACKAGE@/$mingw_package/g" \
        -e "s/@GCC_SOURCE@/$gcc_source/g" -e "s/@MINGW_SOURCE@/$mingw_source/g" \
        "$root/packaging/notices-README.txt.in" >"$notices/README.txt"
    ! grep -n @ "$notices/README.txt" || { echo "README.txt of the notices left unfilled" >&2; exit 1; }
    # Replaced only when changed, so that an unchanged build stages nothing again.
    if ! diff -rq "$notices" "$build/notices" >/dev/null 2>&1; then
        rm -rf "$build/notices"
        mv "$notices" "$build/notices"
    fi
    rm -rf "$notices"
}

# Configured and built with signing through a time-stamping server of this
# run's own, whose address the build then has: so before every stage that signs.
build_signed() {
    if [ -z "$tsa_pid" ]; then
        start_test_signing "$build/signing"
    fi
    cmake -S "$root" -B "$build" "${windows_options[@]}" "${signing_options[@]}" >/dev/null
    cmake --build "$build"
}

# Wine needs an X display for every program, console ones too, and a prefix.
start_wine() {
    [ -z "$xvfb_pid" ] || return 0
    start_xvfb
    if [ ! -d "$build/wine-prefix" ]; then
        echo "A new Wine prefix in $build/wine-prefix"
        WINEPREFIX="$build/wine-prefix" WINEDEBUG=-all wineboot -i >/dev/null 2>&1
    fi
}

stage_build() {
    # A build that signs without time stamps stops at once and says why.
    local refusal
    refusal=$(cmake -S "$root" -B "$build/unstamped" "${windows_options[@]}" \
        -DLARKSPUR_SIGN_TOOL=/bin/false 2>&1) &&
        { echo "Signing without time stamps was configured" >&2; exit 1; }
    grep -q "Signing needs LARKSPUR_SIGNING_TIMESTAMP_URL" <<<"$refusal" ||
        { echo "$refusal" >&2; exit 1; }
    rm -rf "$build/unstamped"
    echo "Cross-building for Windows against $sdk, signing with a key on a software token"
    rm -rf "$build/wine-prefix" # the tests' prefix starts afresh with each build
    build_signed
}

stage_tests() {
    start_wine
    ctest --test-dir "$build" --output-on-failure -j 2
}

stage_window() {
    local realwindow="$linux_tests/tests/app/tst_realwindow"
    [ -x "$realwindow" ] || { echo "No real-window test at $realwindow: run scripts/test.sh" >&2; exit 1; }
    start_wine
    (
        # shellcheck source=/dev/null # written by the build
        source "$build/wine-env.sh"
        LARKSPUR_WINE_PROGRAM="$build/Larkspur.exe" dbus-run-session -- "$realwindow"
    )
}

# cpack into the build folder or another, with its options; any warning of
# cpack's fails the stage (makensis turns its own into errors).
pack() {
    local log="$build/cpack.log"
    if ! (cd "$build" && cpack "$@" >"$log" 2>&1); then
        cat "$log"
        # What makensis said, and what the sign commands it ran said.
        find "$build" -path '*/_CPack_Packages/*/NSISOutput.log' -exec tail -n 20 {} +
        exit 1
    fi
    if grep -i warning "$log"; then echo "cpack warned: see $log" >&2; exit 1; fi
}

stage_packages() {
    build_signed
    rm -f "$build"/Larkspur-*-win64.*
    rm -rf "$build/older-packages" "$build/respun-packages" "$build/respun-stage"
    pack
    # The same files as version 0.99, to install 1.00 over.
    pack -G "NSIS;External" -D CPACK_PACKAGE_VERSION=0.99 -B "$build/older-packages"
    # The same version packed again with Larkspur.exe signed again, as a
    # re-signed release is.
    cp -a "$build/package-stage" "$build/respun-stage"
    cmake -DFILE="$build/respun-stage/Larkspur.exe" -P "$build/sign.cmake"
    pack -G External -B "$build/respun-packages" -D "CPACK_INSTALLED_DIRECTORIES=$build/respun-stage;."
    ls "$build"/Larkspur-*-win64.*
    check_p12_signing "$build/signing" "$build/package-stage/Larkspur.exe"
}

stage_rebuild() {
    cmake -S "$root" -B "$build" "${windows_options[@]}" -DBUILD_TESTING=OFF \
        -DLARKSPUR_SIGN_TOOL="${LARKSPUR_REBUILD_SIGN_TOOL:-}" -DLARKSPUR_SIGNING_TIMESTAMP_URL=none >/dev/null
    cmake --build "$build"
    rm -f "$build"/Larkspur-*-win64.*
    pack
}

stage_install() {
    LARKSPUR_PACKAGES="$build" LARKSPUR_OLDER_PACKAGES="$build/older-packages" \
        LARKSPUR_RESPUN_PACKAGES="$build/respun-packages" LARKSPUR_STAGE="$build/package-stage" \
        LARKSPUR_SIGNING_CA="$build/signing/ca.pem" LARKSPUR_TSA_CA="$build/signing/tsa.pem" \
        LARKSPUR_PLANTED_PLUGIN="$build/planted/plantedplugin.dll" "$linux_tests/tests/app/tst_installer"
}

find_sdk
for stage in "${stages[@]}"; do
    is_stage "$stage" || { echo "No stage named $stage" >&2; exit 1; }
    echo "Windows: $stage"
    "stage_$stage"
done
