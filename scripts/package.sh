#!/usr/bin/env bash
# Installs what is needed, builds and writes the Debian package
# build/bootquarn_<version>-1_<arch>.deb, then checks it with lintian.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --package
cmake --preset default >/dev/null
cmake --build --preset default --target package
deb=$(ls -t build/bootquarn_*.deb | head -n1)
echo "== $deb"
dpkg-deb --field "$deb"
echo "== lintian"
lintian --info "$deb" || true
