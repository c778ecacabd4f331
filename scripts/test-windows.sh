#!/usr/bin/env bash
# Cross-builds the Windows leg (core libraries, bootquarn-cli and the Windows
# tests) with mingw-w64 and runs its tests under Wine, headless, in a scratch
# prefix whose COM5 is the virtual device of the Linux build. Prints how long
# each step took and what ran.
#   scripts/test-windows.sh            build and test
#   KEEP_PREFIX=1 scripts/test-windows.sh   keep the Wine prefix afterwards
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --windows
for tool in x86_64-w64-mingw32-g++-posix wine wineserver; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/install-deps.sh --windows" >&2; exit 1; }
done

export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-true}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

started=$(date +%s)
logs=$(mktemp -d /tmp/bq-wine-logs.XXXXXX)
stamp() { echo "$(( $(date +%s) - started ))"; }

# The serial test's virtual device is the Linux build's bootquarn-sim (it
# needs a pseudo-terminal); the Linux bootquarn-cli reads the same device back.
echo "== host programs (default preset)"
[ -f build/CMakeCache.txt ] || cmake --preset default "${launcher[@]}" >/dev/null
cmake --build --preset default --target bootquarn-sim bootquarn-cli >/dev/null

echo "== configure (windows preset)"
cmake --preset windows "${launcher[@]}" >/dev/null
echo "== build"
cmake --build --preset windows
echo "== installer"
cmake --build --preset windows --target package >"$logs/cpack.log" 2>&1 ||
  { cat "$logs/cpack.log" >&2; exit 1; }
built=$(stamp)

# A scratch prefix: made once per run (about 10 s), headless, no Mono or Gecko.
prefix=$(mktemp -d /tmp/bq-wine.XXXXXX)
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${KEEP_PREFIX:-}" ] || rm -rf "$prefix"
}
trap cleanup EXIT
echo "== Wine prefix $prefix"
# A server that stays up, started first: otherwise every test program waits
# for it to exit. Its output goes to a file: it prints a long dump when a
# pseudo-terminal closes.
wineserver -p >"$logs/wineserver.log" 2>&1
wineboot -i >"$logs/wineboot.log" 2>&1 || true
# COM5 is the link the serial test's virtual device keeps to its
# pseudo-terminal. Wine's mount manager reads the port map when it starts,
# so the server (and with it the mount manager) starts again after it.
export BQ_WINE_COM5_LINK=$logs/ttyCOM5
wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$BQ_WINE_COM5_LINK" /f >>"$logs/wineboot.log" 2>&1
wineserver -k
wineserver -w
wineserver -p >>"$logs/wineserver.log" 2>&1
# The session's services start here, their output into the log: started by
# the first test instead, they would hold its output open and ctest would
# wait for them until the test's time-out.
wineboot >>"$logs/wineboot.log" 2>&1
[ -L "$WINEPREFIX/dosdevices/com5" ] || { echo "Wine did not map COM5" >&2; exit 1; }
prefixed=$(stamp)

echo "== tests under Wine"
status=0
ctest --preset windows --output-junit "$logs/ctest.xml" | tee "$logs/ctest.log" || status=$?
tested=$(stamp)

# Each test program prints gtest's summary; add them up.
cases=$(grep -ho '\[==========\] [0-9]* tests\? from' build-windows/Testing/Temporary/LastTest.log |
        awk '{ n += $2 } END { print n + 0 }')
passed=$(grep -ho '\[  PASSED  \] [0-9]*' build-windows/Testing/Temporary/LastTest.log |
         awk '{ n += $4 } END { print n + 0 }')
echo
echo "== summary"
echo "build:           ${built} s"
echo "Wine prefix:     $(( prefixed - built )) s"
echo "tests:           $(( tested - prefixed )) s"
echo "GoogleTest cases under Wine: ${passed} passed of ${cases} run"
grep -E '^[0-9]+% tests passed' "$logs/ctest.log" || true
echo "logs:            $logs"
exit "$status"
