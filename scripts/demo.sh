#!/usr/bin/env bash
# Installs and builds the updater, starts the demo update server on
# 127.0.0.1:8731 and opens the updater in a demo application folder that
# holds an old build of the main application. Click the button to install the
# new build, click again to start it.
set -euo pipefail
cd "$(dirname "$0")/.."

port=8731
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || { echo "demo: needs a desktop session (no DISPLAY)" >&2; exit 1; }

scripts/setup.sh
cmake -S . -B build -DUPDATE_HOST="127.0.0.1:$port"
cmake --build build -j"$(nproc)"

demo=build/demo-run
rm -rf "$demo"
mkdir -p "$demo/server/soft/tarnwick" "$demo/app"
cp build/bin/tarnwick_demo_2 "$demo/server/soft/tarnwick/tarnwick.jpg"
echo "2.0" >"$demo/server/soft/tarnwick/s_ver.txt"
cp build/bin/tarnwick_demo_1 "$demo/app/Tarnwick.exe"
printf 'TARNWICK\0001.0   \000\000\000' >"$demo/app/tarn.dat"
cp build/bin/updater "$demo/app/updater"

python3 -m http.server "$port" --bind 127.0.0.1 --directory "$demo/server" >"$demo/server.log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null' EXIT
for _ in $(seq 50); do
  curl -fs -o /dev/null "http://127.0.0.1:$port/soft/tarnwick/s_ver.txt" && break
  kill -0 $server 2>/dev/null || { echo "demo: the server cannot start (port $port busy?)" >&2; cat "$demo/server.log" >&2; exit 1; }
  sleep 0.1
done

echo "demo: application folder $demo/app, update server http://127.0.0.1:$port/"
"$demo/app/updater"
