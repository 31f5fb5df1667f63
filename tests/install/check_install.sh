#!/usr/bin/env bash
# Installs the build into a staging folder and checks what lands there: the
# files and nothing else, programs that run, man pages that render without
# warnings, a valid desktop entry, completion scripts that parse and
# complete. A check whose tool is missing (man, zsh, desktop-file-validate)
# is named as skipped.
#   check_install.sh BUILD_DIR SOURCE_DIR WITH_WINDOW(0|1)
set -uo pipefail
build=$1 source_dir=$2 with_window=$3
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
# shellcheck source=tools/checks.sh
source "$(dirname "$0")/../../tools/checks.sh"

cmake --install "$build" --prefix "$stage/usr" >"$stage.log" 2>&1 || { cat "$stage.log"; fail "cmake --install"; }
rm -f "$stage.log"
usr=$stage/usr

expected=(bin/fencat share/man/man1/fencat.1 share/bash-completion/completions/fencat
          share/zsh/vendor-completions/_fencat)
if [ "$with_window" = 1 ]; then
  expected+=(bin/fencat-window share/man/man1/fencat-window.1 share/applications/fencat-window.desktop
             share/kio/servicemenus/fencat-window.desktop "share/nautilus-scripts/Which processes use this?")
  for size in 16 24 32 48 64 128 256; do
    expected+=("share/icons/hicolor/${size}x$size/apps/fencat-window.png")
  done
fi
expect_eq "the installed files, and nothing else" \
  "$(printf '%s\n' "${expected[@]}" | sort)" "$(cd "$usr" && find . -type f | sed 's|^\./||' | sort)"

version=$(sed -n 's/^#define FENCAT_VERSION "\(.*\)"$/\1/p' "$build/generated/fencat_version.h")
expect_eq "the installed fencat runs" "fencat $version" "$("$usr/bin/fencat" --version 2>&1)"
if [ "$with_window" = 1 ]; then
  expect_eq "the installed fencat-window runs without a display" "fencat-window $version" \
    "$(env -u DISPLAY -u WAYLAND_DISPLAY "$usr/bin/fencat-window" --version 2>&1)"
fi

for page in "$usr"/share/man/man1/*.1; do
  name=${page##*/}
  warnings=$(groff -man -ww -z "$page" 2>&1)
  expect_eq "$name renders in groff without warnings" "" "$warnings"
  if command -v man >/dev/null; then
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    expect_eq "$name renders in man --warnings without warnings" "" "$warnings"
  else
    skip "$name in man (no man-db)"
  fi
  if grep -q '@[A-Z_]*@' "$page"; then fail "$name: a placeholder was left in"; else pass "$name: version filled in"; fi
  grep -q "Tolvar Fencat $version" "$page" || fail "$name: no version $version in its title line"
done

completion=$usr/share/bash-completion/completions/fencat

if command -v desktop-file-validate >/dev/null; then
  if [ "$with_window" = 1 ]; then
    if out=$(desktop-file-validate "$usr/share/applications/fencat-window.desktop" 2>&1) && [ -z "$out" ]; then
      pass "fencat-window.desktop validates without errors, warnings or hints"
    else
      fail "fencat-window.desktop does not validate cleanly: $out"
    fi
  fi
else
  skip "desktop-file-validate (no desktop-file-utils)"
fi
if [ "$with_window" = 1 ]; then
  desktop=$usr/share/applications/fencat-window.desktop
  expect_eq "the desktop entry starts the window with files" "Exec=fencat-window %F" "$(grep '^Exec=' "$desktop")"
  # A MIME type could make the window a default opener (of folders, say).
  expect_eq "the desktop entry claims no MIME type" "" "$(grep '^MimeType' "$desktop")"
  menu=$usr/share/kio/servicemenus/fencat-window.desktop
  expect_eq "the Dolphin service menu: its item" "Type=Service
Actions=whichProcesses;
Name=Which processes use this?
Exec=fencat-window -- %F" "$(grep -E '^(Type|Actions|Name|Exec)=' "$menu")"
  script="$usr/share/nautilus-scripts/Which processes use this?"
  # The script hands GNOME Files' selection to the window as FILEs.
  mkdir -p "$stage/fake"
  printf '#!/bin/sh\nprintf "[%%s]" "$@"\n' >"$stage/fake/fencat-window"
  chmod +x "$stage/fake/fencat-window"
  [ -x "$script" ] && pass "the Nautilus script is executable" || fail "the Nautilus script is not executable"
  expect_eq "the Nautilus script passes the selection" "[--][-a file][b]" "$(PATH=$stage/fake:$PATH "$script" "-a file" b)"
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  [ -f "$usr/share/icons/hicolor/48x48/apps/$icon.png" ] && pass "the desktop entry's icon is installed" ||
    fail "no icon named $icon in hicolor"
fi

if bash -n "$completion"; then pass "bash completion parses"; else fail "bash completion does not parse"; fi
if command -v zsh >/dev/null; then
  if zsh -n "$usr/share/zsh/vendor-completions/_fencat"; then pass "zsh completion parses"; else fail "zsh completion does not parse"; fi
else
  skip "zsh -n (no zsh)"
fi

# The bash completion at work, with or without the bash-completion package.
complete_words() {  # words...: what completing the last word offers, sorted
  bash -c '
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    _fencat
    printf "%s\n" "${COMPREPLY[@]}" | sort' _ "$completion" "$@"
}
mkdir -p "$stage/tree/alpha" "$stage/tree/beta"
touch "$stage/tree/afile"
expect_eq "bash: long options" "--signal=" "$(complete_words fencat --sig)"
expect_eq "bash: -SIGNAL names" "-TERM" "$(complete_words fencat -k -TER)"
expect_eq "bash: --under takes folders only" "$stage/tree/alpha" "$(complete_words fencat --under "$stage/tree/a")"
expect_eq "bash: --signal=SIG" "TERM" "$(complete_words fencat --signal = TER)"
expect_eq "bash: after --, files even with a dash" "" "$(complete_words fencat -- --sig)"
# The shell's own signals (EXIT, RTMIN+1) are no signals fencat sends.
expect_eq "bash: --signal= offers what fencat -l lists" "$("$usr/bin/fencat" -l | tr ' ' '\n' | sort)" \
  "$(complete_words fencat --signal = '')"
expect_eq "bash: -SIGNAL offers no shell-only name" "" "$(complete_words fencat -k -EXI)"
expect_eq "bash: FILE" "$stage/tree/afile
$stage/tree/alpha" "$(complete_words fencat -t "$stage/tree/a")"

if [ "$failures" -ne 0 ]; then
  echo "install: $failures check(s) failed"
  exit 1
fi
echo "install: all checks passed"
