#!/usr/bin/env bash
# Builds both packages of the updater for one update server and checks them:
# the Debian package (build-package/) and the Windows ZIP, cross-built with
# mingw-w64 (build-package-windows/). Both are copied to dist/.
#
#   scripts/package.sh [HOST[:PORT]]     (or UPDATE_HOST=HOST[:PORT] scripts/package.sh)
#
# The server defaults to the bundled demo server, 127.0.0.1:8731.
set -euo pipefail
cd "$(dirname "$0")/.."

host=${1:-${UPDATE_HOST:-127.0.0.1:8731}}
[[ $host =~ ^[][A-Za-z0-9.:-]+$ ]] || { echo "package: '$host' is not a host[:port]" >&2; exit 2; }

scripts/setup.sh
jobs=$(nproc)

# Only the updater is built: the demo, benchmarks and tests are no part of the
# packages, and CPack is kept from building them (SKIP_INSTALL_ALL_DEPENDENCY).
package() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -DBUILD_TESTING=OFF -DUPDATE_HOST="$host" \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "$@" >/dev/null
  cmake --build "$dir" -j"$jobs" --target updater
  rm -f "$dir"/tarnwick-updater*.{deb,zip}
  (cd "$dir" && cpack >/dev/null)
}

echo "== Debian package (update server $host)"
package build-package
echo "== Windows ZIP (update server $host)"
package build-package-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake

deb=$(ls build-package/tarnwick-updater_*.deb)
zip=$(ls build-package-windows/tarnwick-updater-*.zip)
scripts/check-packages.sh "$deb" "$zip" "$host"

mkdir -p dist
rm -f dist/tarnwick-updater*
cp "$deb" "$zip" dist/
echo "package: dist/$(basename "$deb") ($(stat -c %s "$deb") bytes)," \
  "dist/$(basename "$zip") ($(stat -c %s "$zip") bytes)"
