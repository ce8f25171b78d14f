#!/usr/bin/env bash
# Two builds of one commit give the same packages. Builds them a second time,
# minutes after the first, from a second copy of this checkout at another
# path, on another file system where /dev/shm is one (tmpfs lists a folder in
# another order, and gives folders other sizes, than a disk's file system),
# with another umask and time zone, and compares: the Debian package
# and the unsigned Windows packages byte for byte with this checkout's, and
# the signed Windows packages through scripts/verify-release.sh.
# Usage: scripts/check-reproducible.sh, after scripts/package.sh and, given
# LARKSPUR_WINDOWS_QT, scripts/windows.sh's build and packages stages.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

place="$root/build/reproduce"
rm -rf "$place" /dev/shm/larkspur-reproduce
mkdir -p "$place"
if [ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ] && [ "$(stat -f -c %T "$root")" != tmpfs ] &&
    [ "$(df --output=avail -k /dev/shm | tail -n 1)" -gt 2000000 ]; then
    place=/dev/shm/larkspur-reproduce
fi
other="$place/a/second/checkout/at/another/path/larkspur"
echo "The second checkout: $other"
git clone -q --no-local "$root" "$other"
# What is not committed yet, as it stands here.
(cd "$root" && git ls-files -z --modified --others --exclude-standard | tar --null -T - -cf -) |
    tar -xf - -C "$other"
(cd "$root" && git ls-files -z --deleted) | (cd "$other" && xargs -0 -r rm -f)

same() {
    if cmp "$1" "$2"; then
        echo "$(basename "$1"): the same bytes"
    else
        echo "$(basename "$1") differs between the two builds" >&2
        exit 1
    fi
}

umask 077
export TZ=Pacific/Kiritimati

echo "The Debian package, again"
cmake -S "$other" -B "$other/build/package" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$other/build/package" >/dev/null
(cd "$other/build/package" && cpack -G DEB >/dev/null)
deb=$(cd "$root/build/package" && ls larkspur_*.deb)
same "$root/build/package/$deb" "$other/build/package/$deb"

if [ -z "${LARKSPUR_WINDOWS_QT:-}" ]; then
    echo "Windows packages not compared: no Qt for Windows given (LARKSPUR_WINDOWS_QT)"
    exit 0
fi
echo "The Windows packages, unsigned, here"
LARKSPUR_WINDOWS_BUILD="$root/build/windows-unsigned" "$root/scripts/windows.sh" rebuild >/dev/null
echo "The signed Windows packages, verified from the second checkout"
log="$root/build/reproduce/verify-release.log"
"$other/scripts/verify-release.sh" "$root/build/windows" >"$log" 2>&1 || { cat "$log"; exit 1; }
grep -E ': (identical|DIFFERS)' "$log"
# A verification that can say no: a release whose zip was changed after
# signing is not the commit's.
changed="$root/build/reproduce/changed-release"
mkdir -p "$changed"
cp "$root/build/windows"/Larkspur-*-win64.{exe,msi,zip} "$changed/"
printf x >>"$(ls "$changed"/*.zip)"
if "$other/scripts/verify-release.sh" "$changed" >"$log" 2>&1 || ! grep -q 'zip: DIFFERS' "$log"; then
    cat "$log"
    echo "scripts/verify-release.sh did not find the changed zip" >&2
    exit 1
fi
for package in "$root/build/windows-unsigned"/Larkspur-*-win64.{exe,msi,zip}; do
    same "$package" "$other/build/verify/unsigned/$(basename "$package")"
done
rm -rf /dev/shm/larkspur-reproduce # kept when something differed, to look into
