#!/usr/bin/env bash
# Installs what a job needs on Debian 12, as root; packages already present
# are left alone, so a second run costs nothing.
#   tools/install-deps.sh run    what building and running fencat needs
#   tools/install-deps.sh test   what building and running every test needs
set -euo pipefail
job=${1:-run}

packages=(cmake ninja-build g++ make)
if [ "$job" = test ]; then
  packages+=(libgtest-dev googletest psmisc lsof)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
