# Sourced by the screenshot scripts, which set $work and $port.

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
