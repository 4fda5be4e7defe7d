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

# The tests check that numbers are read and written with a point whatever the
# user's locale, in one that writes a comma.
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8'; then
  echo "setup: generating the locale de_DE.UTF-8"
  "${sudo[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
