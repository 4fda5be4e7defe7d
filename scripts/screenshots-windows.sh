#!/usr/bin/env bash
# Takes the screenshots of the Windows build's window in each state, under
# Wine in a private Xvfb, into docs/windows-*.png. Needs a built Windows tree
# (scripts/test.sh builds one).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh imagemagick

if [ -z "${SCREENSHOT_XVFB:-}" ]; then
  exec env SCREENSHOT_XVFB=1 xvfb-run -a -s "-screen 0 640x480x24 -dpi 96" "$0" "$@"
fi

port=47614  # the port built into build-windows/bin/updater_e2e.exe
bin=$PWD/build-windows/bin
export WINEPREFIX=$PWD/build-windows/wine-prefix
work=$(mktemp -d)
trap 'pkill -f "$work/" 2>/dev/null; kill $(jobs -p) 2>/dev/null; wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/app" "$work/www/soft/tarnwick" docs
cp "$bin/updater_e2e.exe" "$work/app/updater.exe"
cp "$bin/started_old.exe" "$work/app/Tarnwick.exe"

title='^Tarnwick升级$'
shoot() { sleep 0.7; import -window root -crop "$2" +repage "docs/$1.png"; }
start_updater() {
  tests/windows/wine-run.sh "$work/app/updater.exe" &
  window=$(timeout 60 xdotool search --sync --onlyvisible --name "$title" | head -n 1)
  eval "$(xdotool getwindowgeometry --shell "$window")"
  border=$(( (WIDTH - 345) / 2 ))
  top=$(( HEIGHT - 139 - border ))
  area=${WIDTH}x${HEIGHT}+0+0
}
stop_updater() { pkill -f "$work/app/updater.exe" || true; sleep 0.5; }
click() { xdotool mousemove --window "$window" $((border + 148)) $((top + 64)) click 1; }

# Ready to install, then a server that accepts and never answers: installing.
python3 - "$port" <<'PY' &
import socket, sys, time
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen(4)
c, _ = s.accept(); time.sleep(20)
PY
silent=$!
sleep 0.5
start_updater
shoot windows-ready "$area"
click
shoot windows-installing "$area"
stop_updater
kill "$silent" 2>/dev/null || true

# Nothing published (404): the failure message over the window.
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/www" >/dev/null 2>&1 &
sleep 0.5
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
echo "screenshots: docs/windows-{ready,installing,failed,restart}.png"
