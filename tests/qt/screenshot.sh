#!/usr/bin/env bash
# The window under Xvfb with a window manager: the screenshot test (the
# findings of a drop, then a missing file, on screen), the window program
# started as the desktop menu starts it, and the window as a screen reader
# reads it over AT-SPI. Screenshots are kept in OUTPUT_DIR.
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
xvfb_pid="" wm_pid="" window_pid="" holder_pid=""
held=$(mktemp)
cleanup() {
  for pid in "$holder_pid" "$window_pid" "$wm_pid" "$xvfb_pid"; do
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true; fi
  done
  rm -f "$number_file" "$held"
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
  # grep reads the whole tree: -q would stop early, and under pipefail the
  # writer's SIGPIPE would count as no window.
  if xwininfo -root -tree 2>/dev/null | grep '"Tolvar Fencat"' >/dev/null; then found=yes; break; fi
  sleep 0.1
done
[ -n "$found" ] || { echo "no window titled \"Tolvar Fencat\""; cat "$out/fencat-window.out"; exit 1; }
sleep 0.5
kill -0 "$window_pid" || { echo "the window program ended"; exit 1; }
if command -v xwd >/dev/null && [ -x /usr/bin/convert-im6.q16 ]; then
  xwd -root -silent | /usr/bin/convert-im6.q16 xwd:- "$out/fencat-window.png"
  echo "screenshot: $out/fencat-window.png"
fi
kill "$window_pid"
wait "$window_pid" 2>/dev/null || true
window_pid=""

echo "== the window over AT-SPI, as a screen reader reads it"
if [ -x /usr/libexec/at-spi-bus-launcher ] && command -v dbus-run-session >/dev/null &&
   /usr/bin/python3 -c 'import pyatspi' 2>/dev/null; then
  sleep 300 <"$held" &
  holder_pid=$!
  # Qt joins only an accessibility bus that is already there.
  dbus-run-session -- bash -c '
    /usr/libexec/at-spi-bus-launcher --launch-immediately & bus=$!
    for _ in $(seq 50); do dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
      >/dev/null 2>&1 && break; sleep 0.1; done
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb "$1" "$2" >"$3/fencat-window-accessible.out" 2>&1 & window=$!
    /usr/bin/python3 "$4" "$5"; status=$?
    kill $window $bus; wait $window $bus 2>/dev/null
    exit $status' _ "$window" "$held" "$out" "$(dirname "$0")/accessible.py" "$holder_pid" 2>&1 | grep -v 'fd limit'
  [ "${PIPESTATUS[0]}" = 0 ] || { echo "the window is not read as it should be"; exit 1; }
else
  echo "skipped: no at-spi2-core, dbus-run-session or python3-pyatspi"
fi
echo "screenshots in $out"
