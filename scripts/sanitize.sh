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
# LeakSanitizer stops the process's threads with ptrace, which some containers
# forbid; there it would fail every test, so the run says so and goes on without it.
leaks=1
probe="$build/leak-probe"
echo 'int main() { return 0; }' | clang++ -fsanitize=address -x c++ - -o "$probe"
if ! probe_output=$("$probe" 2>&1); then
    echo "LeakSanitizer cannot run on this machine; leaks are not checked: $probe_output"
    leaks=0
fi
export ASAN_OPTIONS=detect_leaks=$leaks:detect_stack_use_after_return=1
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Instrumented programs run several times slower; tests with time limits allow for it.
export LARKSPUR_SLOWDOWN=3
ctest --test-dir "$build" --output-on-failure -j 2
