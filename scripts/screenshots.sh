#!/usr/bin/env bash
# Takes the README's screenshots of the window in each state, under a private
# Xvfb, into docs/. Needs a built tree (scripts/test.sh builds one) whose
# updater was built for a local server (UPDATE_HOST 127.0.0.1:PORT, the
# default). SCREENSHOT_BUILD names another build tree, SCREENSHOT_OUT another
# folder for the pictures.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh imagemagick

if [ -z "${SCREENSHOT_XVFB:-}" ]; then
  exec env SCREENSHOT_XVFB=1 xvfb-run -a -s "-screen 0 640x480x24 -dpi 96" "$0" "$@"
fi

build=${SCREENSHOT_BUILD:-build}
out=${SCREENSHOT_OUT:-docs}
source scripts/screenshot-scenes.sh
port=$(built_in_port "$build")
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/app" "$work/www/soft/tarnwick" "$out"
cp "$build/bin/updater" "$work/app/updater"
cp "$build/bin/tarnwick_demo_1" "$work/app/Tarnwick.exe"

shoot() { sleep 0.5; import -window root -crop "$2" +repage "$out/$1.png"; }
area=345x139+0+0
start_updater() {
  "$work/app/updater" &
  updater=$!
  window=$(timeout 10 xdotool search --sync --onlyvisible --classname '^tarnwick-updater$' | head -n 1)
}
stop_updater() { kill "$updater" 2>/dev/null || true; wait "$updater" 2>/dev/null || true; }
click() { xdotool mousemove --window "$window" 148 64 click 1; }

take_scenes window "$area" 0.5 "$build/bin/tarnwick_demo_2"
