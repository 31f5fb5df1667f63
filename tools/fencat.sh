#!/usr/bin/env bash
# Builds fencat (installing what the build needs) and runs it:
#   tools/fencat.sh FILE...
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install-deps.sh" run >&2
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build/release" --target fencat >/dev/null
exec "$root/build/release/fencat" "$@"
