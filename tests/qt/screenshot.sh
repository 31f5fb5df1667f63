#!/usr/bin/env bash
# The window under Xvfb: the screenshot test (a drop of a held file, its
# findings on screen), then the window program started as the desktop
# menu starts it. Screenshots are kept in OUTPUT_DIR.
#   screenshot.sh OUTPUT_DIR SCREENSHOT_TEST FENCAT_WINDOW
# Exits 77 (skipped) where Xvfb is not installed.
set -euo pipefail
out=$1 test_program=$2 window=$3
command -v Xvfb >/dev/null || { echo "Xvfb is not installed: skipped"; exit 77; }
mkdir -p "$out"

# Xvfb picks a free display itself and writes its number to fd 3.
number_file=$(mktemp)
xvfb_pid="" window_pid=""
cleanup() {
  [ -n "$window_pid" ] && kill "$window_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -f "$number_file"
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$number_file" 2>"$out/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$number_file" ] && break; sleep 0.1; done
[ -s "$number_file" ] || { echo "Xvfb did not start"; cat "$out/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n1 "$number_file")"
unset WAYLAND_DISPLAY
echo "Xvfb on $DISPLAY"

echo "== the window, a drop, the screen"
FENCAT_SCREENSHOT_DIR="$out" QT_QPA_PLATFORM=xcb "$test_program"

echo "== fencat-window opens its window"
command -v xwininfo >/dev/null || { echo "xwininfo (x11-utils) is not installed: not checked"; exit 0; }
QT_QPA_PLATFORM=xcb "$window" >"$out/fencat-window.out" 2>&1 &
window_pid=$!
title="Tolvar Fencat - Kitbench"
found=""
for _ in $(seq 100); do
  if xwininfo -root -tree 2>/dev/null | grep -q "\"$title\""; then found=yes; break; fi
  sleep 0.1
done
[ -n "$found" ] || { echo "no window titled \"$title\""; cat "$out/fencat-window.out"; exit 1; }
sleep 0.5
kill -0 "$window_pid" || { echo "the window program ended"; exit 1; }
if command -v xwd >/dev/null && [ -x /usr/bin/convert-im6.q16 ]; then
  xwd -root -silent | /usr/bin/convert-im6.q16 xwd:- "$out/fencat-window.png"
  echo "screenshot: $out/fencat-window.png"
fi
kill "$window_pid"
wait "$window_pid" 2>/dev/null || true
window_pid=""
echo "screenshots in $out"
