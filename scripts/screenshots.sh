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
# The port of the local update server built into the updater.
port=$(sed -n 's/^UPDATE_HOST:STRING=127\.0\.0\.1:\([0-9]*\)$/\1/p' "$build/CMakeCache.txt")
if [ -z "$port" ]; then
  echo "screenshots.sh: $build/bin/updater is not built for a server on 127.0.0.1:PORT" >&2
  exit 2
fi
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/app" "$work/www/soft/tarnwick" "$out"
cp "$build/bin/updater" "$work/app/updater"
cp "$build/bin/tarnwick_demo_1" "$work/app/Tarnwick.exe"

shoot() { sleep 0.5; import -window root -crop "$2" +repage "$out/$1.png"; }
window_area=345x139+0+0
start_updater() {
  "$work/app/updater" &
  updater=$!
  window=$(timeout 10 xdotool search --sync --onlyvisible --classname '^tarnwick-updater$' | head -n 1)
}
stop_updater() { kill "$updater" 2>/dev/null || true; wait "$updater" 2>/dev/null || true; }
click() { xdotool mousemove --window "$window" 148 64 click 1; }

source scripts/screenshot-server.sh

# Ready to install, then a server that accepts and never answers: installing.
serve_once silent
start_updater
shoot window-ready "$window_area"
click
shoot window-installing "$window_area"
stop_updater
wait "$server"

# A build arriving: the server announces its length, sends 40 % of it and
# pauses, so the bar stands at 40 %.
serve_once partial
start_updater
click
shoot window-progress "$window_area"
stop_updater
wait "$server"

# Nothing published (404): the failure message over the window.
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/www" >/dev/null 2>&1 &
await_port
start_updater
click
sleep 0.5
shoot window-failed "$window_area"
xdotool key Return
stop_updater

# Published: installed, ready to restart.
cp "$build/bin/tarnwick_demo_2" "$work/www/soft/tarnwick/tarnwick.jpg"
start_updater
click
sleep 1
shoot window-restart "$window_area"
stop_updater
echo "screenshots: $out/window-{ready,installing,progress,failed,restart}.png"
