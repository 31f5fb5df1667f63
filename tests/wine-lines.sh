#!/usr/bin/env bash
# Runs a Windows test program under the emulator given first, with the
# console's CR taken off each line: ctest reads the list of cases by lines.
set -o pipefail
"$@" | tr -d '\r'
