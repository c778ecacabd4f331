#!/usr/bin/env bash
# Installs what is needed, builds the normal and the sanitizer configurations,
# and runs the whole test suite in both; then the Windows leg: the
# cross-built core, CLI and tests under Wine (scripts/test-windows.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
for preset in default sanitize; do
  echo "== build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "== test: $preset"
  ctest --preset "$preset" -j2
done

# Every fuzz target runs its committed corpus (seeds and past crashes) and a
# short burst of new inputs.
echo "== fuzz smoke"
scripts/fuzz.sh --runs 2000

# After the Linux legs: the Windows build of the core, the CLI and their
# tests, run under Wine in a scratch prefix, with the serial test through
# COM5 (it uses the default preset's bootquarn-sim built above).
echo "== Windows leg"
scripts/test-windows.sh
