#!/usr/bin/env bash
# Builds the Debian package from this build folder, unpacks it into a scratch
# root and checks what it installs: the programs run from there, and the
# desktop entry and AppStream metadata pass their validators.
#   package_test.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; exit 1; }
deb=("$scratch"/out/bootquarn_*-1_*.deb)
[[ -f ${deb[0]} ]] || { echo "no package written"; ls "$scratch/out"; exit 1; }

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

fields=$(dpkg-deb --field "${deb[0]}" Package Version Depends Description)
grep -q '^Package: bootquarn$' <<<"$fields" || fail "package name: $fields"
grep -q '^Version: 5.54-1$' <<<"$fields" || fail "version: $fields"
grep -q '^Depends: .*libudev1' <<<"$fields" || fail "dependencies not worked out: $fields"
grep -q 'dialout' <<<"$fields" || fail "the description does not name the dialout group"

root=$scratch/root
dpkg -x "${deb[0]}" "$root"
for file in \
  usr/bin/bootquarn usr/bin/bootquarn-cli usr/bin/bootquarn-sim \
  usr/share/applications/bootquarn.desktop \
  usr/share/icons/hicolor/64x64/apps/bootquarn.png \
  usr/share/icons/hicolor/128x128/apps/bootquarn.png \
  usr/share/metainfo/com.quarn.BootQuarn.metainfo.xml \
  usr/share/bootquarn/help/topic1.html usr/share/bootquarn/sounds/NovoSuccess.wav \
  usr/share/man/man1/bootquarn.1.gz usr/share/man/man1/bootquarn-cli.1.gz \
  usr/share/man/man1/bootquarn-sim.1.gz \
  usr/share/bash-completion/completions/bootquarn-cli \
  usr/share/doc/bootquarn/copyright usr/share/doc/bootquarn/changelog.Debian.gz; do
  [[ -f $root/$file ]] || fail "not installed: /$file"
done

version=$("$root/usr/bin/bootquarn-cli" --version) || fail "bootquarn-cli --version failed"
[[ $version == "bootquarn-cli 5.54" ]] || fail "bootquarn-cli --version: '$version'"
version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/bootquarn" --version) ||
  fail "bootquarn --version failed"
[[ $version == "bootquarn 5.54" ]] || fail "bootquarn --version: '$version'"

# The installed manual page of the command line lists its commands' options.
zcat "$root/usr/share/man/man1/bootquarn-cli.1.gz" | grep -q 'BOOTQUARN_PORT' ||
  fail "bootquarn-cli(1) does not mention BOOTQUARN_PORT"

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/bootquarn.desktop" ||
    fail "desktop-file-validate"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$root/usr/share/metainfo/com.quarn.BootQuarn.metainfo.xml" ||
    fail "appstreamcli validate"
fi

exit $((failures > 0))
