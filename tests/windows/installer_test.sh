#!/usr/bin/env bash
# The Windows installer under Wine: a silent install into a chosen folder,
# the installed bootquarn-cli.exe says its version and its help file is there,
# and the silent uninstall takes both away again, with the entry in the
# system's list of installed programs.
#   installer_test.sh INSTALLER VERSION
set -euo pipefail

installer=$1
version=$2
: "${WINEPREFIX:?the Wine prefix to use (scripts/test-windows.sh makes one)}"
[ -f "$installer" ] ||
  { echo "$installer is missing: build the package target (scripts/package.sh --windows)" >&2; exit 1; }

work=$(mktemp -d /tmp/bq-wine-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
# No space in it: NSIS reads /D= only unquoted, and Wine quotes an argument
# with a space.
dest=$work/BootQuarn
# A Linux path as the Windows program sees it: Wine's drive Z: is /.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\BootQuarn'

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# /D= comes last: NSIS takes the rest of the line.
wine "$installer" /S "/D=$(windows_path "$dest")" || fail "the installer exited with $?"
for file in bin/bootquarn-cli.exe doc/bootquarn-cli.txt Uninstall.exe; do
  [ -f "$dest/$file" ] || fail "no $file after the install"
done
grep -q -- '--port' "$dest/doc/bootquarn-cli.txt" || fail "the help file has no --port"
grep -q 'C:\\Users\\Public\\Quarn\\BootQuarn' "$dest/doc/bootquarn-cli.txt" ||
  fail "the help file does not name the data folder"

out=$(wine "$dest/bin/bootquarn-cli.exe" --version) || fail "bootquarn-cli.exe --version exited with $?"
[[ $out == *"bootquarn-cli $version"* ]] || fail "bootquarn-cli.exe --version said: $out"
wine reg query "$uninstall_key" >/dev/null 2>&1 || fail "no entry $uninstall_key"

# _?= runs the uninstaller in place, so that Wine returns when it is done
# (otherwise it copies itself away and returns at once); it then leaves
# itself behind, and nothing else.
wine "$dest/Uninstall.exe" /S "_?=$(windows_path "$dest")" || fail "the uninstaller exited with $?"
for file in bin/bootquarn-cli.exe doc/bootquarn-cli.txt doc/copyright.txt; do
  [ ! -e "$dest/$file" ] || fail "$file is still there after the uninstall"
done
if wine reg query "$uninstall_key" >/dev/null 2>&1; then
  fail "the entry $uninstall_key is still there after the uninstall"
fi
echo "ok: installed, bootquarn-cli $version ran, uninstalled"
