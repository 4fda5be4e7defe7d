#!/usr/bin/env bash
# Takes the README's screenshots of the window in each state, under a private
# Xvfb, into docs/. Needs a built tree (scripts/test.sh builds one).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh imagemagick

if [ -z "${SCREENSHOT_XVFB:-}" ]; then
  exec env SCREENSHOT_XVFB=1 xvfb-run -a -s "-screen 0 640x480x24 -dpi 96" "$0" "$@"
fi

port=47613  # the port built into build/bin/updater_e2e
work=$(mktemp -d)
trap 'pkill -f "$work/" 2>/dev/null; kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/app" "$work/www/soft/tarnwick" docs
cp build/bin/updater_e2e "$work/app/updater"
cp build/bin/tarnwick_demo_1 "$work/app/Tarnwick.exe"

shoot() { sleep 0.5; import -window root -crop "$2" +repage "docs/$1.png"; }
window_area=345x139+0+0
start_updater() {
  "$work/app/updater" &
  window=$(timeout 10 xdotool search --sync --onlyvisible --classname '^tarnwick-updater$' | head -n 1)
}
click() { xdotool mousemove --window "$window" 148 64 click 1; }

# Ready to install, then a server that accepts and never answers: installing.
python3 - "$port" <<'PY' &
import socket, sys, time
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen(4)
c, _ = s.accept(); time.sleep(20)
PY
sleep 0.5
start_updater
shoot window-ready "$window_area"
click
shoot window-installing "$window_area"
pkill -f "$work/app/updater"
kill %1 2>/dev/null || true
wait %1 2>/dev/null || true

# Nothing published (404): the failure message over the window.
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/www" >/dev/null 2>&1 &
sleep 0.5
start_updater
click
sleep 0.5
shoot window-failed "$window_area"
xdotool key Return
pkill -f "$work/app/updater"

# Published: installed, ready to restart.
cp build/bin/tarnwick_demo_2 "$work/www/soft/tarnwick/tarnwick.jpg"
start_updater
click
sleep 1
shoot window-restart "$window_area"
echo "screenshots: docs/window-{ready,installing,failed,restart}.png"
