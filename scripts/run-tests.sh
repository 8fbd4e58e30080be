#!/usr/bin/env bash
# Runs every test: the unit tests (sanitized build), a short run of each fuzzer, and the Wine
# tests of the real executables in a private Wine prefix made for this run, for each
# architecture Wine can start here (x64 always; x86 where the kernel starts 32-bit programs).
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
status=0

echo "== unit tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
ctest --test-dir "$build/asan" -j "$jobs" --output-on-failure || status=1

if [ -x "$root/scripts/run-fuzzers.sh" ]; then
  echo "== fuzzers (short run)"
  "$root/scripts/run-fuzzers.sh" "$build" smoke || status=1
fi

echo "== Authenticode signing (throw-away certificate)"
"$root/scripts/test-signing.sh" "$build/win/bin" || status=1

# The installer is tested by running it: a run in which no Wine test ran fails.
prefix="$root/$build/wineprefix"
"$root/scripts/wine-prefix.sh" "$prefix"
export HOTFIX_WINEPREFIX="$prefix"
ran=0
for arch in x64 x86; do
  if ! why=$("$root/scripts/wine-starts.sh" "$arch" 2>&1); then
    echo "== Wine tests, $arch: not run here: $why"
    continue
  fi
  dir=$build/win64
  [ "$arch" = x64 ] || dir=$build/win
  echo "== Wine tests, $arch ($dir)"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure || status=1
  ran=$((ran + 1))
done
WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
if [ "$ran" = 0 ]; then
  echo "!! no Wine test ran: Wine starts neither x64 nor x86 programs here" >&2
  status=1
fi
exit $status
