#!/usr/bin/env bash
# The window under Xvfb with a window manager: the screenshot test (the
# findings of a drop, then a missing file, on screen), then the window
# program started as the desktop menu starts it. Screenshots are kept in
# OUTPUT_DIR.
#   screenshot.sh OUTPUT_DIR SCREENSHOT_TEST FENCAT_WINDOW
# Exits 77 (skipped) where Xvfb or openbox is not installed.
set -euo pipefail
out=$1 test_program=$2 window=$3
for tool in Xvfb openbox; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed: skipped"; exit 77; }
done
mkdir -p "$out"

# Xvfb picks a free display itself and writes its number to fd 3.
number_file=$(mktemp)
xvfb_pid="" wm_pid="" window_pid=""
cleanup() {
  for pid in "$window_pid" "$wm_pid" "$xvfb_pid"; do
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true; fi
  done
  rm -f "$number_file"
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$number_file" 2>"$out/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$number_file" ] && break; sleep 0.1; done
[ -s "$number_file" ] || { echo "Xvfb did not start"; cat "$out/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n1 "$number_file")"
unset WAYLAND_DISPLAY
for _ in $(seq 100); do [ -S "/tmp/.X11-unix/X${DISPLAY#:}" ] && break; sleep 0.1; done
echo "Xvfb on $DISPLAY"

# The window manager is up once it names itself on the root window.
openbox --sm-disable >"$out/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || { echo "openbox did not start"; cat "$out/openbox.log"; exit 1; }

echo "== the window: findings, then a missing file"
FENCAT_SCREENSHOT_DIR="$out" QT_QPA_PLATFORM=xcb "$test_program"

echo "== fencat-window opens its window"
QT_QPA_PLATFORM=xcb "$window" >"$out/fencat-window.out" 2>&1 &
window_pid=$!
found=""
for _ in $(seq 100); do
  if xwininfo -root -tree 2>/dev/null | grep -q '"Tolvar Fencat"'; then found=yes; break; fi
  sleep 0.1
done
[ -n "$found" ] || { echo "no window titled \"Tolvar Fencat\""; cat "$out/fencat-window.out"; exit 1; }
sleep 0.5
kill -0 "$window_pid" || { echo "the window program ended"; exit 1; }
if command -v xwd >/dev/null && [ -x /usr/bin/convert-im6.q16 ]; then
  xwd -root -silent | /usr/bin/convert-im6.q16 xwd:- "$out/fencat-window.png"
  echo "screenshot: $out/fencat-window.png"
fi
echo "screenshots in $out"
