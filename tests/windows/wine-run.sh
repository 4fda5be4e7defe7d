#!/usr/bin/env bash
# Runs a Windows program of the build under Wine, as the tests need it:
#  - a Chinese locale, so the ANSI code page is 936 as on Chinese Windows and
#    the Chinese texts are drawn (fonts-noto-cjk) instead of empty boxes;
#  - a private prefix beside the build, made on first use, whose windows are
#    not handed to a window manager (without one, every close stalls 2 s),
#    and whose fonts stand in for those of Chinese Windows: the Song faces
#    (宋体, SimSun) become AR PL UMing, and Marlett draws the title bar's
#    buttons;
#  - a time limit, so that nothing can hang the test run.
# Needs an X display (scripts/test.sh runs the Windows tests under one Xvfb).
# Usage: wine-run.sh PROGRAM.exe [ARGUMENTS...]
set -euo pipefail
program=$1
shift

unset LC_ALL LC_CTYPE LC_MESSAGES LANGUAGE
export LANG=zh_CN.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "$program")/.." && pwd)/wine-prefix}
limit=${WINE_RUN_TIMEOUT:-280}

if [ -z "${DISPLAY:-}" ]; then
  echo "wine-run.sh: no X display; run under xvfb-run (scripts/test.sh does)" >&2
  exit 2
fi

if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf-\?8'; then
  echo "wine-run.sh: the locale zh_CN.UTF-8 is missing; scripts/setup.sh makes it" >&2
  exit 2
fi

# One process makes the prefix; others wait for it.
(
  flock 9
  if [ ! -e "$WINEPREFIX/.ready" ]; then
    rm -rf "$WINEPREFIX"
    timeout 120 wineboot -i >/dev/null 2>&1
    timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    for face in 宋体 新宋体 SimSun NSimSun; do
      timeout 60 wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" \
        /d 'AR PL UMing CN' /f >/dev/null 2>&1
    done
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    timeout 60 wineserver -w
    touch "$WINEPREFIX/.ready"
  fi
) 9>"$WINEPREFIX.lock"

exec timeout -k 5 "$limit" wine "$program" "$@"
