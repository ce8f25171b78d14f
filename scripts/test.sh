#!/usr/bin/env bash
# Builds Larkspur and runs every test: formatting, unit, widget and real-window
# tests; then builds and checks the Debian package; then runs the same suite
# and a short fuzz run under the sanitizers; then, given a Qt for Windows in
# LARKSPUR_WINDOWS_QT, the Windows build and its tests under Wine; last, that
# a second build of the commit from elsewhere gives the same packages.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/packages.sh"
require_packages "${build_packages[@]}" "${test_packages[@]}" "${package_packages[@]}"

cd "$root"
echo "Checking the code's formatting"
"$root/scripts/clang-format.sh" --version >/dev/null # fetched once, before xargs splits the files
git ls-files --cached --others --exclude-standard '*.cpp' '*.h' |
    xargs "$root/scripts/clang-format.sh" --dry-run --Werror
echo "Checking the CI workflows (actionlint; the actions' pins, releases, runtimes and inputs; the Qt values) and the shell scripts (shellcheck)"
"$root/scripts/check-workflows.sh"

build="$root/build/test"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DLARKSPUR_BENCH=ON >/dev/null
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j 2

echo "Building and checking the Debian package"
"$root/scripts/package.sh" "$build"

echo "Running the tests and the fuzz target under AddressSanitizer, UBSan and LeakSanitizer"
"$root/scripts/sanitize.sh"

echo "Cross-building for Windows and running the tests under Wine"
"$root/scripts/windows.sh" "$build"

echo "Building the packages again from a second checkout: the same bytes"
"$root/scripts/check-reproducible.sh"
