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
  # The fuzz targets: clang with its libFuzzer runtime.
  packages+=(clang libclang-rt-14-dev)
  # The install test: man pages rendered with warnings on, the desktop
  # entry validated, the completion scripts parsed, the Debian packages
  # built with their library dependencies.
  packages+=(man-db groff-base desktop-file-utils zsh dpkg-dev fakeroot file)
fi

# The Windows tests: cross compilers, Wine for 32- and 64-bit programs, an X
# server without a screen and the tools that drive and photograph it. These
# go in with their recommends: Wine's fonts and X libraries are among them.
windows_packages=()
if [ "$job" = test ]; then
  # nsis: makensis, for the per-user installer CPack makes.
  windows_packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386 fonts-wine nsis
                    xvfb xdotool x11-apps imagemagick python3)
fi

# The Linux window and its tests: Qt 6 Widgets and QtTest (the platform
# plugins come with them), a font to draw text with, a private session bus
# for the file manager's interface, a small window manager, the
# accessibility bus and its Python client to read the window as a screen
# reader does, and an X server to photograph the window on, with its tools
# (those with their recommends).
if [ "$job" = test ]; then
  packages+=(qt6-base-dev fonts-dejavu-core dbus openbox at-spi2-core python3-pyatspi)
  # The theme's SVG icons, as the window's package has them.
  packages+=(libqt6svg6)
  # The window as an ordinary user asks root through the real pkexec and
  # polkitd, on a system bus the test starts.
  packages+=(pkexec polkitd)
  windows_packages+=(xvfb x11-apps x11-utils imagemagick)
fi

missing() {  # packages...: those not installed
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}
mapfile -t missing_plain < <(missing "${packages[@]}")
mapfile -t missing_windows < <(missing "${windows_packages[@]}")
if [ ${#missing_plain[@]} -gt 0 ] || [ ${#missing_windows[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  if [ ${#missing_windows[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  [ ${#missing_plain[@]} -eq 0 ] || apt-get install -y -qq --no-install-recommends "${missing_plain[@]}"
  [ ${#missing_windows[@]} -eq 0 ] || apt-get install -y -qq "${missing_windows[@]}"
fi
