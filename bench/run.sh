#!/usr/bin/env bash
# Runs the benchmarks on this machine and prints their table (min, median,
# max of each figure, and the target). Not a test: nothing here fails on a
# timing. Needs about 4 minutes and 4 GB of free space in the temp folder.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${BENCH_XVFB:-}" ]; then
  scripts/setup.sh hyperfine time
  cmake --preset linux >/dev/null
  cmake --build build -j"$(nproc)" --target updater_bench download_bench startup_probe \
    responsiveness_bench >/dev/null
  exec env BENCH_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$0" "$@"
fi

bin=$PWD/build/bin
port=47615  # built into updater_bench
work=$(mktemp -d)
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null
  pkill -f "$work/" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
results=$work/results
record() { echo "$*" >>"$results"; }  # metric|unit|target|values...

serve() {
  [ -n "$server" ] && { kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true; }
  python3 bench/server.py "$port" "$1" &
  server=$!
  for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
    sleep 0.1
  done
  echo "bench: the server did not start" >&2
  exit 1
}

# CPU seconds a process has used so far.
cpu_seconds() { awk -v hz="$(getconf CLK_TCK)" '{ printf "%.3f", ($14 + $15) / hz }' "/proc/$1/stat"; }

# Starts the updater in a fresh folder and clicks its button.
start_and_click() {
  app=$(mktemp -d "$work/app.XXXX")
  cp "$bin/updater_bench" "$app/updater"
  "$@" "$app/updater" &
  updater=$!
  local window
  window=$(timeout 10 xdotool search --sync --onlyvisible --classname '^tarnwick-updater$' | head -n 1)
  sleep 0.3
  xdotool mousemove --window "$window" 148 64 click 1
}
stop_updater() { pkill -f "^$app/updater" 2>/dev/null || true; wait "$updater" 2>/dev/null || true; rm -rf "$app"; }

echo "bench: making bodies" >&2
head -c 1G /dev/urandom >"$work/1G"
head -c 512M "$work/1G" >"$work/512M"
head -c 256M "$work/1G" >"$work/256M"
head -c 16M "$work/1G" >"$work/16M"
url=http://127.0.0.1:$port/soft/tarnwick/tarnwick.jpg

echo "bench: 1. download of 512 MB, DownloadFile against curl -o" >&2
serve "$work/512M"
mkdir -p "$work/dl"
# Each run starts with nothing of the last one left to write out ("sync"):
# otherwise whichever runs second pays for the other's writing.
hyperfine -N -w 1 -r 15 --prepare sync --export-json "$work/download.json" \
  "curl -s -o $work/dl/curl.out $url" "$bin/download_bench $url $work/dl/bak.exe" >/dev/null
python3 - "$work/download.json" >>"$results" <<'PY'
import json, statistics, sys
curl, ours = json.load(open(sys.argv[1]))["results"]
fmt = lambda times: " ".join("%.3f" % t for t in times)
print("download 512 MB: curl -o|s||" + fmt(curl["times"]))
print("download 512 MB: DownloadFile|s||" + fmt(ours["times"]))
ratio = statistics.median(ours["times"]) / statistics.median(curl["times"])
print("download 512 MB: ratio of the medians, DownloadFile / curl|x|<= 1.05|%.3f" % ratio)
PY
rm -rf "$work/dl"

echo "bench: 2. CPU while waiting 20 s on a server that never answers" >&2
serve --silent
values=()
for _ in 1 2 3; do
  start_and_click
  sleep 1
  before=$(cpu_seconds "$updater")
  sleep 20
  after=$(cpu_seconds "$updater")
  values+=("$(echo "($after - $before) / 20 * 100" | bc -l)")
  stop_updater
done
record "CPU while waiting: updater|% of a core|<= 2|${values[*]}"
values=()
for _ in 1 2 3; do
  bash -c 'while :; do :; done' &
  spin=$!
  sleep 0.2
  before=$(cpu_seconds "$spin")
  sleep 3
  after=$(cpu_seconds "$spin")
  values+=("$(echo "($after - $before) / 3 * 100" | bc -l)")
  kill "$spin" 2>/dev/null; wait "$spin" 2>/dev/null || true
done
record "CPU while waiting: spinning loop (reference)|% of a core||${values[*]}"

echo "bench: 3. peak resident memory of a whole install" >&2
for size in 16M 256M 1G; do
  serve "$work/$size"
  values=()
  for _ in 1 2 3; do
    start_and_click /usr/bin/time -o "$work/time.txt" -f %M
    for _ in $(seq 1200); do [ -e "$app/tarn.dat" ] && break; sleep 0.05; done
    [ -e "$app/tarn.dat" ] || { echo "bench: install of $size did not finish" >&2; exit 1; }
    stop_updater
    values+=("$(echo "$(tail -n 1 "$work/time.txt") / 1024" | bc -l)")
  done
  target=; [ "$size" = 1G ] && target="<= 40, flat"
  record "peak memory, install of $size|MB|$target|${values[*]}"
done

echo "bench: 4. start-up to the window mapped" >&2
values=()
for _ in $(seq 20); do values+=("$("$bin/startup_probe" "$bin/updater_bench")"); done
record "start-up to window mapped|ms|median <= 150|${values[*]}"

echo "bench: 5. longest gap in event handling during a 512 MB download" >&2
serve "$work/512M"
values=()
for _ in 1 2 3 4 5; do
  values+=("$("$bin/responsiveness_bench" "$url" "$work/bak.exe")")
done
record "longest event gap, 512 MB download|ms|<= 50|${values[*]}"

python3 - "$results" <<'PY'
import statistics, sys
def g(x):
    return "%.3g" % x if x < 1000 else "%.0f" % x
print("| figure | unit | min | median | max | target |")
print("|---|---|---:|---:|---:|---|")
for line in open(sys.argv[1]):
    name, unit, target, values = line.rstrip("\n").split("|")
    v = [float(x) for x in values.split()]
    print("| %s | %s | %s | %s | %s | %s |"
          % (name, unit, g(min(v)), g(statistics.median(v)), g(max(v)), target))
PY
