#!/usr/bin/env bash
# Installs every build and test dependency from Debian packages. Safe to run again.
# With --package it also installs what checking a built .deb needs (lintian);
# with --windows, the cross compiler and Wine of scripts/test-windows.sh, the
# Python its serial test reads the JSON with, and NSIS and groff for the
# Windows installer and its help file.
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-translations-l10n
  libgtest-dev libgmock-dev googletest
  libcli11-dev nlohmann-json3-dev
  gettext
  libudev-dev
  libsqlite3-dev libpq-dev libssl-dev postgresql
  help2man
  dpkg-dev file desktop-file-utils appstream
  xvfb xauth
  clang libclang-rt-14-dev
)
for option in "$@"; do
  case "$option" in
    --package) packages+=(lintian) ;;
    --windows) packages+=(g++-mingw-w64-x86-64-posix wine wine64 python3 nsis groff-base) ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
# Package lists may be missing or stale on a fresh machine.
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
