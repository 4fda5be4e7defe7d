#!/usr/bin/env bash
# Installs what building, testing and running the updater needs on Debian 12.
# Safe to run again: it only calls apt-get for packages that are missing.
# Extra package names given as arguments are installed too.
set -euo pipefail

packages=(
  build-essential cmake pkg-config        # toolchain
  libgtk-3-dev libcurl4-openssl-dev       # the Linux window and HTTP
  googletest libgtest-dev                 # tests
  xvfb xauth xdotool x11-utils curl python3  # window tests and the demo server
  fonts-arphic-uming                      # a Song face for the Chinese texts
  locales                                 # a decimal-comma locale for the tests
  g++-mingw-w64-x86-64-posix              # the Windows build, cross-compiled
  wine wine64 fonts-noto-cjk              # ... and its tests, under Wine
  librsvg2-bin icoutils                   # the icon, rendered from its SVG at build time
  dpkg-dev desktop-file-utils file unzip  # the packages (scripts/package.sh) and their check
  "$@"
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# Locales the tests need: one that writes a decimal comma (numbers must be read
# and written with a point whatever the user's locale), and Simplified Chinese,
# which gives Wine the ANSI code page 936 of Chinese Windows.
for name in de_DE zh_CN; do
  if ! locale -a 2>/dev/null | grep -qix "$name.utf-\?8"; then
    echo "setup: generating the locale $name.UTF-8"
    "${sudo[@]}" localedef -i "$name" -f UTF-8 "$name.UTF-8"
  fi
done
