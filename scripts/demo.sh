#!/usr/bin/env bash
# Installs what is needed, builds, and runs the main job: a virtual device in boot
# mode carrying firmware 2.05 is upgraded to the example firmware 3.07 through
# "Conectar e Gravar", then asked for its new identity.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default

bin=build/bin
firmware=examples/demo_firmware_v3_07.kfx

# A scratch data folder: the demo never touches the user's settings or logs.
work=$(mktemp -d)
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill "$sim_pid"
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_DATA_HOME="$work/data"
port="$work/ttyBQ"

echo
echo "== Virtual device: boot loader 2.02 at 19200 baud, hardware 1, firmware 2.05, NS 1000"
"$bin/bootquarn-sim" --baud 19200 --hardware 1 --product 5 --fw-version 2 --fw-revision 5 \
  --serial 1000 --pacing --link "$port" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 50); do
  [ -e "$port" ] && break
  sleep 0.1
done
[ -e "$port" ] || { echo "the virtual device did not start:"; cat "$work/sim.err"; exit 1; }
echo "   port $port -> $(head -n1 "$work/sim.out")"

echo
echo "== bootquarn-cli write $firmware --port $port"
"$bin/bootquarn-cli" write "$firmware" --port "$port"

echo
echo "== The operator holds the boot button and restarts the device (SIGUSR1)"
kill -USR1 "$sim_pid"
sleep 0.2

echo
echo "== bootquarn-cli identify --port $port"
"$bin/bootquarn-cli" identify --port "$port"

echo
echo "== Production log"
cat "$XDG_DATA_HOME"/Quarn/BootQuarn/Log_Producao/*.txt
