#!/usr/bin/env bash
# Measures Larkspur against the floor program on a virtual display of its own:
# time to the window, peak memory, OK and QUIT to the program's end, and the
# file work in memory. Usage: bench/run.sh [RUNS_EACH [BASELINE_COMMIT]]
# (default 30 runs each). With a commit, that commit's program runs in turns
# with the other two, on the same drive, and the differences are printed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/packages.sh
source "$root/scripts/packages.sh"
require_packages "${build_packages[@]}" xvfb libxtst-dev

build="$root/build/bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DLARKSPUR_BENCH=ON >/dev/null
cmake --build "$build" >/dev/null

if [ -n "${2:-}" ]; then
    baseline="$root/build/bench-baseline"
    rm -rf "$baseline"
    mkdir -p "$baseline/source"
    git -C "$root" archive "$2" | tar -x -C "$baseline/source"
    cmake -S "$baseline/source" -B "$baseline/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DBUILD_TESTING=OFF -DLARKSPUR_DRIVE_ROOT="$build/bench/drive" >/dev/null
    cmake --build "$baseline/build" --target Larkspur >/dev/null
    export LARKSPUR_BASELINE="$baseline/build/app/Larkspur"
    echo "Baseline: commit $(git -C "$root" rev-parse --short "$2")"
fi

# shellcheck source=scripts/xvfb.sh
source "$root/scripts/xvfb.sh"
start_xvfb
trap 'kill "$xvfb_pid"' EXIT

echo "Machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) CPUs," \
    "$(free -g | awk '/^Mem:/ {print $2}') GB, Linux $(uname -r)," \
    "Qt $(dpkg-query -W -f='${Version}' qt6-base-dev), Xvfb without a window manager"
"$build/bench/startbench" "${1:-30}"
echo
echo "File work (Qt Test benchmarks, median of 5):"
mkdir -p "$build/bench/drive"
QT_QPA_PLATFORM=offscreen "$build/bench/bench_stationfile" -median 5 |
    grep -E '^(RESULT|     [0-9])' || true
