#!/usr/bin/env bash
# The real Windows updater under Wine, clicked with xdotool: a failed
# download shows its message box; then an install, which records the
# published version in tarn.dat, and the restart starts the new build and
# ends the updater. Runs in the X display the Windows tests share.
# Usage: updater_e2e_windows.sh UPDATER.exe PORT OLD_BUILD.exe NEW_BUILD.exe,
# PORT being the one built into UPDATER.exe.
set -euo pipefail
updater=$1
port=$2
old_build=$3
new_build=$4
run=$(cd "$(dirname "$0")/../windows" && pwd)/wine-run.sh
export WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "$updater")/.." && pwd)/wine-prefix}

work=$(mktemp -d)
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null
  pkill -f "$work/" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Waits up to ~20 s for a command to succeed.
wait_for() {
  for _ in $(seq 200); do "$@" && return 0; sleep 0.1; done
  return 1
}
title='^Tarnwick升级$'  # the window's and the message box's
visible_windows() { xdotool search --onlyvisible --name "$title" 2>/dev/null | wc -l; }

app="$work/应用 folder"
www="$work/www"
mkdir -p "$app" "$www/soft/tarnwick"
cp "$old_build" "$app/Tarnwick.exe"
# The main application's marker file: 9 bytes of its own, the version field,
# and more of its own after it.
marker() { printf 'TARNWICK\001%s\000\377 the rest, kept as it is' "$1"; }
marker '1.0   ' >"$app/tarn.dat"
cp "$updater" "$app/updater.exe"

python3 -m http.server "$port" --bind 127.0.0.1 --directory "$www" >"$work/server.log" 2>&1 &
server=$!
wait_for curl -s -o /dev/null "http://127.0.0.1:$port/" || fail "server on port $port did not start"

"$run" "$app/updater.exe" &
pid=$!
window=$(timeout 60 xdotool search --sync --onlyvisible --name "$title" | head -n 1)
# Wine draws the title bar and borders inside the X window: the client area
# (345 x 139 at 96 dpi) sits at the bottom centre of it.
eval "$(xdotool getwindowgeometry --shell "$window")"
border=$(( (WIDTH - 345) / 2 ))
top=$(( HEIGHT - 139 - border ))
click() { xdotool mousemove --window "$window" $((border + 148)) $((top + 64)) click 1; }
# Clicks until a condition holds (~7 s each time): a click that lands while
# Wine is still readying a new window can go unseen.
click_until() {
  for _ in 1 2 3; do
    click
    for _ in $(seq 70); do "$@" && return 0; sleep 0.1; done
  done
  return 1
}

# Nothing published yet: 404, so the message box appears; Return dismisses it.
two_windows() { test "$(visible_windows)" -eq 2; }
click_until two_windows || fail "no message box after a failed download"
dialog=$(xdotool search --onlyvisible --name "$title" | grep -vx "$window" | head -n 1)
xdotool windowfocus --sync "$dialog" key Return
wait_for test "$(visible_windows)" -eq 1 || fail "message box not dismissed"
cmp -s "$app/Tarnwick.exe" "$old_build" || fail "the main executable changed after a failed download"
cmp -s "$app/tarn.dat" <(marker '1.0   ') || fail "tarn.dat changed after a failed download"

# Publish the new build: one click installs, the next restarts into it.
cp "$new_build" "$www/soft/tarnwick/tarnwick.jpg"
printf '2.36\r\n' >"$www/soft/tarnwick/s_ver.txt"
click_until cmp -s "$app/Tarnwick.exe" "$new_build" || fail "new build not installed"
cmp -s "$app/bak.exe" "$new_build" || fail "bak.exe is not the new build"
wait_for cmp -s "$app/tarn.dat" <(marker '2.4   ') || fail "tarn.dat does not hold the version 2.4"
for _ in $(seq 10); do
  [ -e "$app/started" ] && break
  click || true  # the first click may land while the installation finishes
  sleep 1
done
[ "$(tr -d '\r' <"$app/started" 2>/dev/null)" = new ] || fail "the new build was not started"
timeout 20 tail --pid="$pid" -f /dev/null || fail "the updater did not end after the restart"
wait "$pid" || fail "the updater ended with status $?"
leftovers=$(cd "$app" && ls -A | grep -v -x -e updater.exe -e Tarnwick.exe -e bak.exe -e tarn.dat -e started || true)
[ -z "$leftovers" ] || fail "files left behind: $leftovers"
echo "end-to-end (Windows): passed"
