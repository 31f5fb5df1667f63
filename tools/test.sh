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
echo "== fuzz targets of the record and /proc parsers (clang, libFuzzer), a few seconds each"
CC=clang CXX=clang++ run_config fuzz -DFENCAT_FUZZ=ON
tools/test-windows.sh
echo "== all tests passed"
