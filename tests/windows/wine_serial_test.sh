#!/usr/bin/env bash
# The Windows bootquarn-cli.exe against the virtual device through COM5 under
# Wine: the device runs on a Linux pseudo-terminal (bootquarn-sim of the Linux
# build), and the Wine prefix maps COM5 to the link the device keeps to it
# (scripts/test-windows.sh makes that mapping when it creates the prefix).
#   wine_serial_test.sh CLI_EXE HOST_BIN_DIR SOURCE_DIR
# At each rate of the boot loader, the test lists the ports, identifies the
# device, writes a firmware file, verifies it and reads the flash back, and
# checks the JSON of each command, the copy read back against the same memory
# read by the Linux build, and the device's own account when it stops.
set -euo pipefail

cli_exe=$1
host_bin=$2
source_dir=$3
: "${WINEPREFIX:?the Wine prefix to use (scripts/test-windows.sh makes one)}"
link=${BQ_WINE_COM5_LINK:?the path COM5 is mapped to in the Wine prefix (scripts/test-windows.sh sets it)}
for program in "$host_bin/bootquarn-sim" "$host_bin/bootquarn-cli"; do
  [ -x "$program" ] || { echo "$program is missing: build the default preset first" >&2; exit 1; }
done

work=$(mktemp -d /tmp/bq-wine-serial.XXXXXX)
sim_pid=""
stop_sim() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
  fi
}
cleanup() {
  stop_sim
  rm -f "$link"
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.out "$work"/*.err; do
    [ -s "$f" ] && { echo "--- $(basename "$f")"; tail -n 20 "$f" | cut -c1-200; } >&2
  done
  exit 1
}

# Waits until a file holds a line matching a pattern (the device's own
# output), for at most ten seconds.
wait_for_line() {
  local file=$1 pattern=$2 count=${3:-1}
  for _ in $(seq 200); do
    [ "$(grep -c -- "$pattern" "$file" 2>/dev/null || true)" -ge "$count" ] && return 0
    kill -0 "$sim_pid" 2>/dev/null || fail "the virtual device stopped"
    sleep 0.05
  done
  fail "no '$pattern' in $(basename "$file")"
}

# A Linux path as the Windows program sees it: Wine's drive Z: is /.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# The Windows program; its stdout is the JSON, stderr goes to a file.
win_cli() {
  local name=$1
  shift
  wine "$cli_exe" "$@" >"$work/$name.out" 2>"$work/$name.err" ||
    fail "bootquarn-cli.exe $* exited with $?"
}

# Checks the JSON a command printed: a Python expression over it, j.
check_json() {
  local name=$1 expression=$2
  python3 - "$work/$name.out" "$expression" <<'EOF' || fail "$name: $expression does not hold"
import json, sys
with open(sys.argv[1], encoding="utf-8") as f:
    j = json.load(f)
sys.exit(0 if eval(sys.argv[2], {"j": j}) else 1)
EOF
}

firmware="$source_dir/examples/demo_firmware_v3_07.kfx"
flash=0x0800:0x17FF

for rate in 19200 38400; do
  echo "== $rate baud"
  rm -rf "${work:?}"/*
  # Paced: bytes come at the line's real speed, as from a device.
  "$host_bin/bootquarn-sim" --baud "$rate" --fw-version 2 --fw-revision 5 --serial 1000 \
    --pacing --verbose --link "$link" >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  wait_for_line "$work/sim.out" '^/dev/'

  win_cli ports ports --json
  check_json ports '"COM5" in [p["path"] for p in j["ports"]]'

  win_cli identify identify --port COM5 --json
  check_json identify "j['ok'] and j['port'] == 'COM5' and j['baudRate'] == $rate"
  check_json identify "j['serialNumber'] == 1000 and (j['firmwareVersion'], j['firmwareRevision']) == (2, 5)"

  win_cli write write "$(windows_path "$firmware")" --port COM5 --json
  check_json write "j['ok'] and j['failure'] is None and j['device']['baudRate'] == $rate"
  check_json write "[p['bytes'] for p in j['phases'] if p['name'] == 'writeFlash'] == [4096]"

  # The operator holds the boot button and restarts the device.
  kill -USR1 "$sim_pid"
  wait_for_line "$work/sim.err" 'boot mode'

  win_cli verify verify "$(windows_path "$firmware")" --port COM5 --json
  check_json verify "j['ok'] and j['firstDifference'] is None"

  win_cli read read "$(windows_path "$work/windows.hex")" --port COM5 --flash "$flash" --json
  check_json read "j['ok'] and (j['flashFirst'], j['flashLast']) == (0x0800, 0x17FF)"

  # The same memory through the Linux build: the copies must be the same. Its
  # settings and logs go to a scratch folder, not to the user's.
  XDG_DATA_HOME=$work/linux-data "$host_bin/bootquarn-cli" read "$work/linux.hex" \
    --port "$link" --flash "$flash" >"$work/linux-read.out" 2>"$work/linux-read.err" ||
    fail "the Linux read failed"
  # Intel HEX lines end in CR LF on Windows.
  cmp <(tr -d '\r' <"$work/windows.hex") <(tr -d '\r' <"$work/linux.hex") ||
    fail "the flash read through COM5 differs from the same flash read on Linux"
  grep -q '^:..080000' "$work/windows.hex" || fail "the copy holds no record at 0x0800"

  stop_sim
  # The device's account: the new firmware, at the rate of the run. The device
  # answers only at its own rate, so every reply above shows that Wine set the
  # rate asked for. A first probe at 38400 that a loaded machine answers late
  # is tried again at 19200 before 38400 wins; those few bytes are no fault.
  account=$(tail -n 1 "$work/sim.out")
  [[ $account == *"firmware 3.7,"*", $rate baud,"* ]] || fail "the device's account: $account"
  echo "ok: ports, identify, write, verify and read on COM5 at $rate baud"
done
