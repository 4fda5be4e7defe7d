#!/usr/bin/env bash
# Builds everything and runs every test, for Linux and for Windows (cross-built
# with mingw-w64, its tests run under Wine). Window tests get an Xvfb of their
# own: one per Linux test, one shared by all Windows tests.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
jobs=$(nproc)

echo "== Linux"
cmake --preset linux >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure

echo "== Windows (under Wine)"
cmake --preset windows >/dev/null
cmake --build build-windows -j"$jobs"
# Wine's server outlives its programs; it is stopped before its display goes.
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" bash -c '
  ctest --test-dir build-windows --output-on-failure && status=0 || status=$?
  WINEPREFIX="$PWD/build-windows/wine-prefix" wineserver -k 2>/dev/null || true
  exit $status'
