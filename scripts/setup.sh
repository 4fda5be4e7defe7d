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
  "$@"
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "setup: installing ${missing[*]}"
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
