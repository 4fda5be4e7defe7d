#!/usr/bin/env bash
# Takes the screenshots of the Windows build's window in each state, under
# Wine in a private Xvfb, into docs/windows-*.png. Needs a built Windows tree
# (scripts/test.sh builds one) whose updater was built for a local server
# (UPDATE_HOST 127.0.0.1:PORT, the default). SCREENSHOT_BUILD names another
# build tree, SCREENSHOT_OUT another folder for the pictures.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh imagemagick

if [ -z "${SCREENSHOT_XVFB:-}" ]; then
  exec env SCREENSHOT_XVFB=1 xvfb-run -a -s "-screen 0 640x480x24 -dpi 96" "$0" "$@"
fi

build=${SCREENSHOT_BUILD:-build-windows}
out=${SCREENSHOT_OUT:-docs}
# The port of the local update server built into the updater.
port=$(sed -n 's/^UPDATE_HOST:STRING=127\.0\.0\.1:\([0-9]*\)$/\1/p' "$build/CMakeCache.txt")
if [ -z "$port" ]; then
  echo "screenshots-windows.sh: $build/bin/updater.exe is not built for 127.0.0.1:PORT" >&2
  exit 2
fi
bin=$(cd "$build" && pwd)/bin
export WINEPREFIX=$(cd "$build" && pwd)/wine-prefix
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; timeout 30 wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/app" "$work/www/soft/tarnwick" "$out"
cp "$bin/updater.exe" "$work/app/updater.exe"
cp "$bin/started_old.exe" "$work/app/Tarnwick.exe"

title='^Tarnwick升级$'
shoot() { sleep 0.7; import -window root -crop "$2" +repage "$out/$1.png"; }
start_updater() {
  tests/windows/wine-run.sh "$work/app/updater.exe" &
  updater=$!
  window=$(timeout 60 xdotool search --sync --onlyvisible --name "$title" | head -n 1)
  eval "$(xdotool getwindowgeometry --shell "$window")"
  border=$(( (WIDTH - 345) / 2 ))
  top=$(( HEIGHT - 139 - border ))
  area=${WIDTH}x${HEIGHT}+0+0
}
# wine-run.sh became `timeout`, which hands the signal on to the program.
stop_updater() {
  kill "$updater" 2>/dev/null || true
  wait "$updater" 2>/dev/null || true
  sleep 0.5
}
click() { xdotool mousemove --window "$window" $((border + 148)) $((top + 64)) click 1; }

source scripts/screenshot-server.sh

# Ready to install, then a server that accepts and never answers: installing.
serve_once silent
start_updater
shoot windows-ready "$area"
click
shoot windows-installing "$area"
stop_updater
wait "$server"

# A build arriving: the server announces its length, sends 40 % of it and
# pauses, so the bar stands at 40 %.
serve_once partial
start_updater
click
shoot windows-progress "$area"
stop_updater
wait "$server"

# Nothing published (404): the failure message over the window.
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/www" >/dev/null 2>&1 &
await_port
start_updater
click
sleep 1
shoot windows-failed 640x300+0+0  # the box stands in the middle of the screen
xdotool key Return
stop_updater

# Published: installed, ready to restart.
cp "$bin/started_new.exe" "$work/www/soft/tarnwick/tarnwick.jpg"
start_updater
click
sleep 1.5
shoot windows-restart "$area"
stop_updater
echo "screenshots: $out/windows-{ready,installing,progress,failed,restart}.png"
