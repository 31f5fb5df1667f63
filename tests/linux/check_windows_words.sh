#!/usr/bin/env bash
# The Linux programs carry none of the Windows front ends' words: a word
# found here means Linux links code that only the Win32 dialog or
# fencat.exe should.
#   check_windows_words.sh PROGRAM...
set -euo pipefail
words=("TolvarFencat.exe" "GetFullPathName" "Refresh() failed" "DragDrop" "Error = %d" "HandleDrop" "NameListDrop")
failures=0
for program in "$@"; do
  [ -s "$program" ] || { echo "$program: no such program"; failures=$((failures + 1)); continue; }
  # Read whole, so that no early exit of a reader cuts the listing short.
  text=$(strings -a "$program")
  [ -n "$text" ] || { echo "$program: strings found no text at all"; failures=$((failures + 1)); continue; }
  for word in "${words[@]}"; do
    if grep -qF -- "$word" <<<"$text"; then
      echo "$program carries \"$word\""
      failures=$((failures + 1))
    fi
  done
done
[ "$failures" -eq 0 ]
