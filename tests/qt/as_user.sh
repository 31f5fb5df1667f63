#!/usr/bin/env bash
# The window as an ordinary user sees it: under Xvfb, as a user that is not
# root, beside processes of root and of nobody, with the real pkexec asking
# the real polkitd on a system bus of the test's own. A polkit rule lets the
# user run programs as root without a password, except a command line that
# names "not-authorised". Root's and nobody's holders are started on request
# by a small service of this script (see HolderService in the tests).
#   as_user.sh TEST_PROGRAM HOLDER [TEST_ARGUMENTS...]
# With FENCAT_SCREENSHOT_DIR set, the window's pictures are kept there.
# Exits 77 (skipped) where it cannot make that world: not root, or a tool
# missing.
set -euo pipefail
user=fencat-test

if [ -z "${FENCAT_IN_OWN_MOUNTS:-}" ]; then
  [ "$(id -u)" = 0 ] || { echo "needs root to make the test's user and system bus: skipped"; exit 77; }
  for tool in Xvfb dbus-daemon dbus-run-session pkexec unshare setpriv useradd /usr/lib/polkit-1/polkitd; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed: skipped"; exit 77; }
  done
  # What the window says is read as a screen reader reads it.
  [ -x /usr/libexec/at-spi-bus-launcher ] && /usr/bin/python3 -c 'import pyatspi' 2>/dev/null ||
    { echo "no at-spi2-core or python3-pyatspi: skipped"; exit 77; }
  id "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$user"
  # Mounts of its own: its system bus socket and polkit rules hide nothing
  # of the machine's from anyone else.
  FENCAT_IN_OWN_MOUNTS=1 exec unshare --mount --propagation private bash "$0" "$@"
fi

test_program=$(realpath "$1") holder=$(realpath "$2")
shift 2
work=$(mktemp -d)
chmod 755 "$work"
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# The system bus, at the path every client asks for.
mount -t tmpfs -o mode=755 tmpfs /run/dbus
mkdir "$work/rules"
cat >"$work/rules/50-fencat-test.rules" <<EOF
polkit.addRule(function(action, subject) {
  if (action.id != "org.freedesktop.policykit.exec" || subject.user != "$user") return polkit.Result.NOT_HANDLED;
  return action.lookup("command_line").indexOf("not-authorised") >= 0 ? polkit.Result.NO : polkit.Result.YES;
});
EOF
chmod -R a+rX "$work/rules"
mount --bind "$work/rules" /etc/polkit-1/rules.d
dbus-daemon --system --nofork --nopidfile 2>"$work/bus.log" &
pids+=($!)
for _ in $(seq 100); do [ -S /run/dbus/system_bus_socket ] && break; sleep 0.1; done
/usr/lib/polkit-1/polkitd --no-debug >"$work/polkitd.log" 2>&1 &
pids+=($!)
polkit_up() {
  dbus-send --system --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
    string:org.freedesktop.PolicyKit1 2>/dev/null | grep true >/dev/null
}
for _ in $(seq 100); do polkit_up && break; sleep 0.1; done
polkit_up || { echo "polkitd did not come up"; cat "$work/polkitd.log"; exit 1; }

# Xvfb picks a free display itself and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
display=":$(head -n1 "$work/display")"
for _ in $(seq 100); do [ -S "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
if command -v openbox >/dev/null; then
  DISPLAY=$display openbox --sm-disable >"$work/openbox.log" 2>&1 &
  pids+=($!)
fi

# The holder service: a line "ID USER PATH" in the requests pipe starts the
# holder, as USER (root or nobody), reading PATH ("-": holding nothing), and
# answers in reply.ID with its PID once it is ready; "ID kill PID" ends one
# it started.
service="$work/service"
mkdir "$service"
mkfifo "$service/requests" "$service/alive"
chown -R "$user" "$service"
chmod 700 "$service"
serve() {
  local id who path started=()
  # Every holder reads this until it ends, which is when this loop ends.
  exec 9<>"$service/alive"
  while true; do
    while read -r id who path; do
      case "$who" in
        kill)
          if [[ " ${started[*]} " == *" $path "* ]]; then kill "$path" 2>/dev/null || true; fi
          echo done >"$service/reply.$id.tmp" ;;
        root|nobody)
          local out="$service/out.$id" use=(read "$path")
          [ "$path" = - ] && use=()
          setpriv --reuid="$who" --regid="$(id -g "$who")" --clear-groups "$holder" "${use[@]}" \
            >"$out" 2>&1 <"$service/alive" 9<&- &
          started+=($!)
          for _ in $(seq 100); do grep ready "$out" >/dev/null 2>&1 && break; sleep 0.05; done
          echo "${started[-1]}" >"$service/reply.$id.tmp" ;;
        *) echo refused >"$service/reply.$id.tmp" ;;
      esac
      chown "$user" "$service/reply.$id.tmp"
      mv "$service/reply.$id.tmp" "$service/reply.$id"
    done <"$service/requests"
  done
}
serve &
pids+=($!)

# The user's own session: a session bus with the accessibility bus on it,
# which Qt joins only when it is already there.
mkdir -m 700 "$work/home" "$work/home/runtime" "$work/home/shots"
chown "$user" "$work/home" "$work/home/runtime" "$work/home/shots"
cd "$work/home"
set +e  # the test's status is kept, and the pictures copied, whatever it is
setpriv --reuid="$user" --regid="$(id -g "$user")" --init-groups \
  env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$work/home" SHELL=/bin/sh LANG=C.UTF-8 DISPLAY="$display" \
  QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QTEST_DISABLE_STACK_DUMP=1 \
  XDG_RUNTIME_DIR="$work/home/runtime" FENCAT_HOLDER_SERVICE="$service" FENCAT_SHOTS="$work/home/shots" \
  ${LSAN_OPTIONS:+LSAN_OPTIONS=$LSAN_OPTIONS} \
  dbus-run-session -- bash -c '
    if [ -x /usr/libexec/at-spi-bus-launcher ]; then
      /usr/libexec/at-spi-bus-launcher --launch-immediately & bus=$!
      for _ in $(seq 50); do dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
        org.a11y.Bus.GetAddress >/dev/null 2>&1 && break; sleep 0.1; done
    fi
    "$@"; status=$?
    [ -z "${bus:-}" ] || kill $bus 2>/dev/null
    exit $status' _ "$test_program" "$@" 2>&1 | grep -v 'fd limit'
status=${PIPESTATUS[0]}
if [ -n "${FENCAT_SCREENSHOT_DIR:-}" ]; then
  mkdir -p "$FENCAT_SCREENSHOT_DIR"
  cp "$work/home/shots/"*.png "$FENCAT_SCREENSHOT_DIR/" 2>/dev/null || true
fi
exit "$status"
