#!/usr/bin/env bash
# The real updater, clicked with xdotool: a failed download shows its message
# box; then an install, which records the published version in tarn.dat, and
# the restart starts the new build and ends the updater. On Linux the window
# also offers no maximize function. A Windows updater (UPDATER.exe) runs under
# Wine, in the X display the Windows tests share; it needs the stand-in main
# applications OLD_BUILD.exe and NEW_BUILD.exe.
# Usage: updater_e2e.sh UPDATER PORT [OLD_BUILD NEW_BUILD], PORT being the one
# built into UPDATER.
set -euo pipefail
updater=$1
port=$2

work=$(mktemp -d)
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null
  pkill -f "$work/" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

if [[ $updater == *.exe ]]; then
  windows=yes
  old_build=$3
  new_build=$4
  program=updater.exe
  run=("$(cd "$(dirname "$0")/../windows" && pwd)/wine-run.sh")
  export WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "$updater")/.." && pwd)/wine-prefix}
  find=(--name '^Tarnwick升级$')  # the window's and the message box's title
  start_limit=60
else
  windows=
  old_build=$work/old
  new_build=$work/new
  printf '#!/bin/sh\necho old > "$(dirname "$0")/started"\n' >"$old_build"
  printf '#!/bin/sh\necho new > "$(dirname "$0")/started"\n' >"$new_build"
  chmod 755 "$old_build" "$new_build"
  program=updater
  run=()
  find=(--classname '^tarnwick-updater$')
  start_limit=10
fi

# Waits up to ~20 s for a command to succeed.
wait_for() {
  for _ in $(seq 200); do "$@" && return 0; sleep 0.1; done
  return 1
}
visible_windows() { xdotool search --onlyvisible "${find[@]}" 2>/dev/null | wc -l; }

app="$work/应用 folder"
www="$work/www"
mkdir -p "$app" "$www/soft/tarnwick"
cp -p "$old_build" "$app/Tarnwick.exe"
# The main application's marker file: 9 bytes of its own, the version field,
# and more of its own after it.
marker() { printf 'TARNWICK\001%s\000\377 the rest, kept as it is' "$1"; }
marker '1.0   ' >"$app/tarn.dat"
cp "$updater" "$app/$program"

python3 -m http.server "$port" --bind 127.0.0.1 --directory "$www" >"$work/server.log" 2>&1 &
server=$!
wait_for curl -s -o /dev/null "http://127.0.0.1:$port/" || fail "server on port $port did not start"

"${run[@]}" "$app/$program" &
pid=$!
window=$(timeout "$start_limit" xdotool search --sync --onlyvisible "${find[@]}" | head -n 1)
# Under Wine the X window also holds the title bar and borders that Wine
# draws: the client area (345 x 139 at 96 dpi) sits at its bottom centre.
eval "$(xdotool getwindowgeometry --shell "$window")"
border=$(( (WIDTH - 345) / 2 ))
top=$(( HEIGHT - 139 - border ))
click() { xdotool mousemove --window "$window" $((border + 148)) $((top + 64)) click 1; }
# Clicks until a condition holds (~7 s each time): a click that lands while
# a new window is still being readied can go unseen.
click_until() {
  for _ in 1 2 3; do
    click
    for _ in $(seq 70); do "$@" && return 0; sleep 0.1; done
  done
  return 1
}

if [ -z "$windows" ]; then
  # The window offers no maximize function (bit 0x10 of the Motif functions).
  hints=$(xprop -id "$window" _MOTIF_WM_HINTS | sed 's/.*= //')
  IFS=', ' read -r flags functions _ <<<"$hints"
  (( (flags & 1) && !(functions & 0x10) )) || fail "window functions $hints allow maximizing"
fi

# Nothing published yet: 404, so the message box appears; Return dismisses it.
two_windows() { test "$(visible_windows)" -eq 2; }
click_until two_windows || fail "no message box after a failed download"
dialog=$(xdotool search --onlyvisible "${find[@]}" | grep -vx "$window" | head -n 1)
xdotool windowfocus --sync "$dialog" key Return
wait_for test "$(visible_windows)" -eq 1 || fail "message box not dismissed"
cmp -s "$app/Tarnwick.exe" "$old_build" || fail "the main executable changed after a failed download"
cmp -s "$app/tarn.dat" <(marker '1.0   ') || fail "tarn.dat changed after a failed download"

# Publish the new build: one click installs, the next restarts into it.
cp "$new_build" "$www/soft/tarnwick/tarnwick.jpg"
printf '2.36\r\n' >"$www/soft/tarnwick/s_ver.txt"
click_until cmp -s "$app/Tarnwick.exe" "$new_build" || fail "new build not installed"
cmp -s "$app/bak.exe" "$new_build" || fail "bak.exe is not the new build"
[ -n "$windows" ] || [ -x "$app/Tarnwick.exe" ] || fail "installed main executable is not executable"
wait_for cmp -s "$app/tarn.dat" <(marker '2.4   ') || fail "tarn.dat does not hold the version 2.4"
for _ in $(seq 10); do
  [ -s "$app/started" ] && break  # created first, written a moment later
  click || true  # the first click may land while the installation finishes
  sleep 1
done
[ "$(tr -d '\r' <"$app/started" 2>/dev/null)" = new ] || fail "the new build was not started"
timeout 20 tail --pid="$pid" -f /dev/null || fail "the updater did not end after the restart"
wait "$pid" || fail "the updater ended with status $?"
leftovers=$(cd "$app" && ls -A | grep -v -x -e "$program" -e Tarnwick.exe -e bak.exe -e tarn.dat -e started || true)
[ -z "$leftovers" ] || fail "files left behind: $leftovers"
echo "end-to-end: passed"
