#!/usr/bin/env bash
# Builds fencat (installing what the build needs) and runs it:
#   tools/fencat.sh FILE...
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install-deps.sh" run >&2
# A build of its own, without the tests: they need what only the test
# command installs.
cmake -S "$root" -B "$root/build/run" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFENCAT_TESTS=OFF >/dev/null
cmake --build "$root/build/run" --target fencat >/dev/null
exec "$root/build/run/fencat" "$@"
