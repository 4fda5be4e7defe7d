#!/usr/bin/env bash
# The real updater, clicked with xdotool under Xvfb: it offers no maximize
# function; a failed download shows its message box; then an install, which
# records the published version in tarn.dat, and the restart starts the new
# build and ends the updater.
# Usage: updater_e2e.sh UPDATER PORT, PORT being the one built into UPDATER.
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

# Waits up to ~10 s for a command to succeed.
wait_for() {
  for _ in $(seq 100); do "$@" && return 0; sleep 0.1; done
  return 1
}
visible_windows() { xdotool search --onlyvisible --classname '^tarnwick-updater$' 2>/dev/null | wc -l; }

app="$work/应用 folder"
www="$work/www"
mkdir -p "$app" "$www/soft/tarnwick"
printf '#!/bin/sh\necho old > "$(dirname "$0")/started"\n' >"$app/Tarnwick.exe"
chmod 755 "$app/Tarnwick.exe"
# The main application's marker file: 9 bytes of its own, the version field,
# and more of its own after it.
marker() { printf 'TARNWICK\001%s\000\377 the rest, kept as it is' "$1"; }
marker '1.0   ' >"$app/tarn.dat"
cp "$updater" "$app/updater"

python3 -m http.server "$port" --bind 127.0.0.1 --directory "$www" >"$work/server.log" 2>&1 &
server=$!
wait_for curl -s -o /dev/null "http://127.0.0.1:$port/" || fail "server on port $port did not start"

"$app/updater" &
pid=$!
window=$(timeout 10 xdotool search --sync --onlyvisible --classname '^tarnwick-updater$' | head -n 1)
click() { xdotool mousemove --window "$window" 148 64 click 1; }

# The window offers no maximize function (bit 0x10 of the Motif functions).
hints=$(xprop -id "$window" _MOTIF_WM_HINTS | sed 's/.*= //')
IFS=', ' read -r flags functions _ <<<"$hints"
(( (flags & 1) && !(functions & 0x10) )) || fail "window functions $hints allow maximizing"

# Nothing published yet: 404, so the message box appears; Return dismisses it.
click
wait_for test "$(visible_windows)" -eq 2 || fail "no message box after a failed download"
dialog=$(xdotool search --onlyvisible --classname '^tarnwick-updater$' | grep -vx "$window" | head -n 1)
xdotool windowfocus --sync "$dialog" key Return
wait_for test "$(visible_windows)" -eq 1 || fail "message box not dismissed"
cmp -s "$app/Tarnwick.exe" <(printf '#!/bin/sh\necho old > "$(dirname "$0")/started"\n') ||
  fail "the main executable changed after a failed download"
cmp -s "$app/tarn.dat" <(marker '1.0   ') || fail "tarn.dat changed after a failed download"

# Publish the new build: one click installs, the next restarts into it.
printf '#!/bin/sh\necho new > "$(dirname "$0")/started"\n' >"$www/soft/tarnwick/tarnwick.jpg"
printf '2.36\r\n' >"$www/soft/tarnwick/s_ver.txt"
click
wait_for cmp -s "$app/Tarnwick.exe" "$www/soft/tarnwick/tarnwick.jpg" || fail "new build not installed"
cmp -s "$app/bak.exe" "$www/soft/tarnwick/tarnwick.jpg" || fail "bak.exe is not the new build"
[ -x "$app/Tarnwick.exe" ] || fail "installed main executable is not executable"
for _ in $(seq 10); do
  [ -e "$app/started" ] && break
  click || true  # the first click may land while the installation finishes
  sleep 1
done
[ "$(cat "$app/started" 2>/dev/null)" = new ] || fail "the new build was not started"
cmp "$app/tarn.dat" <(marker '2.4   ') || fail "tarn.dat does not hold the version 2.4"
timeout 10 tail --pid="$pid" -f /dev/null || fail "the updater did not end after the restart"
wait "$pid" || fail "the updater ended with status $?"
echo "end-to-end: passed"
