#!/usr/bin/env bash
# Builds everything with clang under AddressSanitizer, UndefinedBehaviorSanitizer
# and LeakSanitizer, in a build folder of its own, and runs the whole test suite
# there, the fuzz target included. LARKSPUR_FUZZ_SECONDS sets the fuzz run's length.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/packages.sh"
require_packages "${build_packages[@]}" "${test_packages[@]}"

build="$root/build/sanitize"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
    "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
    -DLARKSPUR_FUZZ=ON -DLARKSPUR_FUZZ_SECONDS="${LARKSPUR_FUZZ_SECONDS:-60}" >/dev/null
cmake --build "$build"
export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j 2
