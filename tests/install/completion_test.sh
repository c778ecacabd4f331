#!/usr/bin/env bash
# bash completion of bootquarn-cli, driven as bash drives it: COMP_WORDS and
# COMP_CWORD set, the completion function called, COMPREPLY read.
#   completion_test.sh COMPLETION_FILE BOOTQUARN_CLI
set -uo pipefail
export LC_ALL=C
completion=$(realpath "$1") cli=$(realpath "$2")
source "$completion"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" && touch new.kfx old.HEX notes.txt && mkdir firmware

failures=0
# expect "WANTED REPLIES" WORD...: the completion of the last word.
expect() {
  local wanted=$1
  shift
  COMP_WORDS=("$cli" "$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _bootquarn_cli
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd' ')
  if [[ $got != "$wanted" ]]; then
    echo "FAIL: bootquarn-cli $* <TAB>: wanted '$wanted', got '$got'"
    failures=$((failures + 1))
  fi
}

expect "identify info" i
expect "write" wr
expect "--help --version" --
expect "--help --json --no --port --ports --yes" write --
# The same under a Portuguese locale, where the help's headings are translated.
LC_ALL= LANG=C.UTF-8 LANGUAGE=pt_BR expect "identify info" i
LC_ALL= LANG=C.UTF-8 LANGUAGE=pt_BR expect "--help --json --no --port --ports --yes" write --
expect "--json" identify --j
expect "--help --json --verbose -h -v" ports -
expect "19200 38400" erase --baud ""
expect "eeprom" info new.kfx --dump e
expect "firmware new.kfx old.HEX" write ""
expect "firmware new.kfx old.HEX" info --json ""
expect "" reset ""
expect "/tmp" write --port /tm

# --port offers the ports the program lists, whatever this machine has.
listed=$("$cli" ports 2>/dev/null | awk '{ print $1 }' | sort | paste -sd' ')
by_id=$(compgen -G '/dev/serial/by-id/*' | sort | paste -sd' ')
if [[ -n $listed ]]; then
  wanted=$(printf '%s\n' $listed $by_id | sort | paste -sd' ')
  expect "$wanted" write --port ""
  expect "$wanted" identify --port = ""
fi

exit $((failures > 0))
