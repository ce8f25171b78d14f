#!/usr/bin/env bash
# Shows whether a signed release of Larkspur for Windows is what this
# checkout's commit builds. Rebuilds the packages unsigned, puts the
# release's signatures on the rebuilt files as the release's build signed
# them (Larkspur.exe and the libraries, then the uninstaller, then the
# installer and the MSI), and says of each package whether it is then, byte
# for byte, the release's. Signatures carry the time they were made, so no
# rebuild can make them again; they are taken from the release, and a
# signature fits only the bytes that were signed.
# Usage: scripts/verify-release.sh RELEASE_FOLDER
# RELEASE_FOLDER holds the release's Larkspur-<version>-win64.exe, .msi and
# .zip. The Qt for Windows comes from LARKSPUR_WINDOWS_QT, as for
# scripts/windows.sh. Works in build/verify; the unsigned packages are left in
# build/verify/unsigned. Ends with status 0 when every package is identical.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/packages.sh"
if [ $# -ne 1 ] || [ ! -d "$1" ]; then echo "Usage: $0 RELEASE_FOLDER" >&2; exit 2; fi
release=$(cd "$1" && pwd)
[ -n "${LARKSPUR_WINDOWS_QT:-}" ] ||
    { echo "LARKSPUR_WINDOWS_QT names no Qt for Windows (scripts/windows-qt.sh builds one)" >&2; exit 2; }
require_packages "${build_packages[@]}" "${windows_packages[@]}"

version=$(sed -n 's/^    VERSION \([0-9.]*\)$/\1/p' "$root/CMakeLists.txt")
names=("Larkspur-$version-win64.exe" "Larkspur-$version-win64.msi" "Larkspur-$version-win64.zip")
for name in "${names[@]}"; do
    [ -f "$release/$name" ] || { echo "No $name in $release (this checkout is of $version)" >&2; exit 2; }
done
work="$root/build/verify"
rm -rf "$work/release-files" "$work/signatures" "$work/unsigned"
mkdir -p "$work/release-files" "$work/signatures" "$work/unsigned"

echo "The signatures of the release's files, its uninstaller, installer and MSI"
(cd "$work/release-files" && cmake -E tar xf "$release/${names[2]}")
while IFS= read -r -d '' file; do
    osslsigncode extract-signature -in "$file" -out "$work/signatures/$(basename "$file").der" >/dev/null ||
        { echo "$file carries no signature" >&2; exit 1; }
done < <(find "$work/release-files" "$release/${names[0]}" "$release/${names[1]}" \
    \( -name '*.exe' -o -name '*.dll' -o -name '*.msi' \) -type f -print0)
# The uninstaller is signed inside the installer only; of the programs the
# installer holds, those that carry a signature give theirs.
mkdir "$work/release-files/installer"
python3 "$root/scripts/installer-programs.py" "$release/${names[0]}" "$work/release-files/installer"
for file in "$work/release-files/installer"/*.exe; do
    osslsigncode extract-signature -in "$file" -out "$work/signatures/$(basename "$file").der" \
        >/dev/null 2>&1 || rm -f "$work/signatures/$(basename "$file").der"
done

export LARKSPUR_WINDOWS_BUILD="$work/build"
echo "Rebuilding the packages, unsigned"
"$root/scripts/windows.sh" rebuild
cp "${names[@]/#/$work/build/}" "$work/unsigned/"
echo "Rebuilding the packages with the release's signatures"
LARKSPUR_REBUILD_SIGN_TOOL="$root/scripts/attach-signature.sh" LARKSPUR_SIGNATURES="$work/signatures" \
    "$root/scripts/windows.sh" rebuild ||
    { echo "The release's files are not what this commit builds (above: the first that differs)" >&2; exit 1; }

status=0
for name in "${names[@]}"; do
    if cmp -s "$work/build/$name" "$release/$name"; then
        echo "$name: identical to the release's"
    else
        echo "$name: DIFFERS from the release's"
        status=1
    fi
done
exit $status
