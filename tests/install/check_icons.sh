#!/usr/bin/env bash
# The committed icons are what res/draw_icons.py draws, byte for byte, and
# each hicolor PNG is as large as its folder says.
#   check_icons.sh SOURCE_DIR OUTPUT_DIR
set -euo pipefail
source_dir=$1 out=$2
rm -rf "$out"
python3 "$source_dir/res/draw_icons.py" "$out"
failures=0
for file in main.ico pinned.ico unpinned.ico $(cd "$out" && find hicolor -name '*.png' | sort); do
  if ! cmp -s "$source_dir/res/$file" "$out/$file"; then
    echo "res/$file is not what res/draw_icons.py draws"
    failures=$((failures + 1))
  fi
done
committed=$(cd "$source_dir/res" && find hicolor -type f | sort)
drawn=$(cd "$out" && find hicolor -type f | sort)
[ "$committed" = "$drawn" ] || { echo "res/hicolor holds [$committed], the script draws [$drawn]"; failures=$((failures + 1)); }
python3 - "$source_dir/res/hicolor" <<'PY' || failures=$((failures + 1))
import os, struct, sys
bad = 0
for folder in sorted(os.listdir(sys.argv[1])):
    with open(os.path.join(sys.argv[1], folder, "apps", "fencat-window.png"), "rb") as f:
        head = f.read(33)
    width, height, depth, kind = struct.unpack(">IIBB", head[16:26])
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR" or f"{width}x{height}" != folder \
            or (depth, kind) != (8, 6):
        print(f"hicolor/{folder}: a {width}x{height} image, depth {depth}, colour type {kind}")
        bad += 1
sys.exit(1 if bad else 0)
PY
[ "$failures" -eq 0 ] && echo "icons: ok"
exit $((failures > 0))
