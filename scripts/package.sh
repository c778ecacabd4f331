#!/usr/bin/env bash
# Installs what is needed, builds and writes the Debian package
# build/bootquarn_<version>-1_<arch>.deb, then checks it with lintian.
#   scripts/package.sh --windows   the Windows installer instead:
#                                  build-windows/BootQuarn-<version>-win64.exe
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = --windows ]; then
  scripts/install-deps.sh --windows
  # The help file is made from the build machine's bootquarn-cli.
  [ -f build/CMakeCache.txt ] || cmake --preset default >/dev/null
  cmake --build --preset default --target bootquarn-cli
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target package
  installer=$(ls -t build-windows/BootQuarn-*-win64.exe | head -n1)
  echo "== $installer"
  file "$installer"
  exit 0
fi

scripts/install-deps.sh --package
cmake --preset default >/dev/null
cmake --build --preset default --target package
deb=$(ls -t build/bootquarn_*.deb | head -n1)
echo "== $deb"
dpkg-deb --field "$deb"
echo "== lintian"
lintian --info "$deb" || true
