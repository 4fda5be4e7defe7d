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
source scripts/screenshot-scenes.sh
port=$(built_in_port "$build")
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

# The message box stands in the middle of the screen.
take_scenes windows 640x300+0+0 1 "$bin/started_new.exe"
