#!/usr/bin/env bash
# Builds the Debian packages with CPack and checks them: the command line's
# package carries its files and no Qt; the window's carries the rest and
# depends on it; both unpack into a throwaway root and run; apt finds every
# dependency on this system (a simulation, nothing is installed).
# Exits 77 (skipped) without dpkg-shlibdeps, which CPack needs here.
#   check_packages.sh BUILD_DIR WITH_WINDOW(0|1)
set -uo pipefail
build=$1 with_window=$2
command -v dpkg-shlibdeps >/dev/null || { echo "no dpkg-shlibdeps (dpkg-dev): skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=tools/checks.sh
source "$(dirname "$0")/../../tools/checks.sh"

if ! (cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1); then
  cat "$work/cpack.log"
  echo "cpack -G DEB failed"
  exit 1
fi
version=$(sed -n 's/^#define FENCAT_VERSION "\(.*\)"$/\1/p' "$build/generated/fencat_version.h")
arch=$(dpkg --print-architecture)
cli=$work/out/fencat_${version}_$arch.deb
window=$work/out/fencat-window_${version}_$arch.deb
expected=$(basename "$cli")
[ "$with_window" = 1 ] && expected=$(printf '%s\n' "$(basename "$cli")" "$(basename "$window")" | sort)
expect_eq "the packages" "$expected" "$(cd "$work/out" && ls -1 ./*.deb | sed 's|^\./||' | sort)"

field() { dpkg-deb -f "$1" "$2"; }
# The names whole, spaces and all: all but the first five columns.
files() { dpkg-deb -c "$1" | awk '$1 !~ /^d/' | sed -E 's/^([^ ]+ +){5}//; s|^\./||' | sort; }

expect_eq "fencat: name" fencat "$(field "$cli" Package)"
expect_eq "fencat: section" utils "$(field "$cli" Section)"
expect_eq "fencat: summary" "list the processes that use a file" "$(field "$cli" Description | head -1)"
depends=$(field "$cli" Depends)
if [[ $depends == *libc6* ]]; then pass "fencat: its dependencies come from the binary ($depends)"; else
  fail "fencat: no libc6 among its dependencies [$depends]"; fi
if grep -qi 'qt' <<<"$depends"; then fail "fencat depends on Qt: [$depends]"; else pass "fencat does not pull in Qt"; fi
expect_eq "fencat: its files" "usr/bin/fencat
usr/share/bash-completion/completions/fencat
usr/share/man/man1/fencat.1
usr/share/zsh/vendor-completions/_fencat" "$(files "$cli")"

if [ "$with_window" = 1 ]; then
  expect_eq "fencat-window: name" fencat-window "$(field "$window" Package)"
  depends=$(field "$window" Depends)
  [[ $depends == *"fencat (= $version)"* ]] && pass "fencat-window depends on fencat $version" ||
    fail "fencat-window does not depend on fencat (= $version): [$depends]"
  [[ $depends == *libqt6widgets6* ]] && pass "fencat-window depends on Qt Widgets" ||
    fail "fencat-window: no libqt6widgets6 among [$depends]"
  [[ $depends == *libqt6svg6* ]] && pass "fencat-window depends on Qt's SVG icon engine" ||
    fail "fencat-window: no libqt6svg6 among [$depends]"
  window_files=$(files "$window")
  for file in usr/bin/fencat-window usr/share/man/man1/fencat-window.1 \
              usr/share/applications/fencat-window.desktop usr/share/icons/hicolor/256x256/apps/fencat-window.png \
              usr/share/kio/servicemenus/fencat-window.desktop "usr/share/nautilus-scripts/Which processes use this?"; do
    grep -qx "$file" <<<"$window_files" || fail "fencat-window: no $file"
  done
  [ "$(grep -c '^usr/share/icons/hicolor/.*/apps/fencat-window.png$' <<<"$window_files")" = 7 ] ||
    fail "fencat-window: not seven icon sizes"
  grep -qx usr/bin/fencat <<<"$window_files" && fail "fencat-window carries fencat too"
fi

# Unpacked into a throwaway root, the programs run from there.
root=$work/root
for deb in "$work"/out/*.deb; do dpkg-deb -x "$deb" "$root"; done
expect_eq "the unpacked fencat runs" "fencat $version" "$("$root/usr/bin/fencat" --version 2>&1)"
if [ "$with_window" = 1 ]; then
  expect_eq "the unpacked fencat-window runs" "fencat-window $version" \
    "$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/fencat-window" --version 2>&1)"
fi

# apt resolves every dependency from this system's archive; -s only
# simulates, so the test needs no lock and changes nothing.
if command -v apt-get >/dev/null; then
  if out=$(apt-get -s -q install "$work"/out/*.deb 2>&1); then
    pass "apt would install the packages"
  else
    fail "apt would not install the packages: $(tail -5 <<<"$out")"
  fi
fi

if [ "$failures" -ne 0 ]; then
  echo "packages: $failures check(s) failed"
  exit 1
fi
echo "packages: all checks passed"
