#!/usr/bin/env bash
# Builds and runs every test (installing what the tests need):
#   tools/test.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
tools/install-deps.sh test

jobs=$(nproc)
run_config() {  # name, cmake options...
  local dir="build/$1"; shift
  cmake -S . -B "$dir" -G Ninja -DFENCAT_WERROR=ON -DFENCAT_TESTS=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

echo "== release build, all tests"
run_config release -DCMAKE_BUILD_TYPE=Release
echo "== AddressSanitizer and UndefinedBehaviorSanitizer, all tests"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_config sanitize -DCMAKE_BUILD_TYPE=Debug -DFENCAT_SANITIZE=ON
echo "== ThreadSanitizer, the Linux search's tests and the command line against real processes"
# Only what these tests need: the window and the Windows wing have lanes of their own.
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFENCAT_WERROR=ON -DFENCAT_TESTS=ON -DFENCAT_TSAN=ON >/dev/null
cmake --build build/tsan -j "$jobs" --target fencat_linux_tests fencat_integration_tests
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build/tsan -L 'linux_search|integration' --output-on-failure -j "$jobs"
echo "== fuzz targets of the record and /proc parsers (clang, libFuzzer), a few seconds each"
CC=clang CXX=clang++ run_config fuzz -DFENCAT_FUZZ=ON
tools/test-windows.sh
echo "== all tests passed"
