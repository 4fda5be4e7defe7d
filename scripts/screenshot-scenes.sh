# Sourced by the screenshot scripts, one per build: the scenes both take, and
# what they need for them. The script sets $work (holding app/ and
# www/soft/tarnwick/) and defines start_updater, stop_updater, click and
# `shoot NAME AREA`; $area is the window's area once start_updater returns.

# The port of the local update server built into the updater of build tree
# $1; exits with a message when it was built for another server.
built_in_port() {
  local port
  port=$(sed -n 's/^UPDATE_HOST:STRING=127\.0\.0\.1:\([0-9]*\)$/\1/p' "$1/CMakeCache.txt")
  if [ -z "$port" ]; then
    echo "$(basename "$0"): the updater in $1 is not built for a server on 127.0.0.1:PORT" >&2
    exit 2
  fi
  echo "$port"
}

# A server for one connection on the port (scripts/screenshot-server.py), back
# once it listens. It ends when the updater has gone (or after 20 s): stop the
# updater, then wait for it.
serve_once() {
  rm -f "$work/listening"
  python3 scripts/screenshot-server.py "$port" "$1" "$work/listening" &
  server=$!
  until [ -e "$work/listening" ]; do kill -0 "$server"; sleep 0.1; done
}
# Returns once something listens on the port.
await_port() { until (: <>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do sleep 0.1; done; }

# Takes PREFIX-{ready,installing,progress,failed,restart}.png. FAILED_AREA is
# where the message box shows; SETTLE how long a message box or a restarted
# window takes to appear; NEW_BUILD the build the server publishes last.
take_scenes() {
  local prefix=$1 failed_area=$2 settle=$3 new_build=$4

  # Ready to install, then a server that accepts and never answers: installing.
  serve_once silent
  start_updater
  shoot "$prefix-ready" "$area"
  click
  shoot "$prefix-installing" "$area"
  stop_updater
  wait "$server"

  # A build arriving: the server announces its length, sends 40 % of it and
  # pauses, so the bar stands at 40 %.
  serve_once partial
  start_updater
  click
  shoot "$prefix-progress" "$area"
  stop_updater
  wait "$server"

  # Nothing published (404): the failure message over the window.
  python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/www" >/dev/null 2>&1 &
  await_port
  start_updater
  click
  sleep "$settle"
  shoot "$prefix-failed" "$failed_area"
  xdotool key Return
  stop_updater

  # Published: installed, ready to restart.
  cp "$new_build" "$work/www/soft/tarnwick/tarnwick.jpg"
  start_updater
  click
  sleep "$settle"
  sleep 0.5
  shoot "$prefix-restart" "$area"
  stop_updater
  echo "screenshots: $out/$prefix-{ready,installing,progress,failed,restart}.png"
}
