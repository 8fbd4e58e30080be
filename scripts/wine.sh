#!/usr/bin/env bash
# Starts a Windows program under Wine with the loader of its architecture: the one way the
# scripts, the tests (cmake/wine-run.sh) and the benchmarks start Wine.
#   scripts/wine.sh x64|x86 PROGRAM [ARGUMENT...]
# x64 programs, and Wine's own tools (wineboot, reg), go through Wine's 64-bit loader itself
# with WINELOADER naming it: Debian's `wine` wrapper picks the 32-bit loader whenever wine32 is
# installed, even where the kernel cannot run it. x86 programs go through the wrapper.
# scripts/wine-starts.sh tells which architectures Wine can start here.
set -euo pipefail
arch=${1:?usage: wine.sh x64|x86 PROGRAM [ARGUMENT...]}
shift
case $arch in
  x64)
    export WINELOADER=/usr/lib/wine/wine64
    exec "$WINELOADER" "$@" ;;
  x86)
    exec wine "$@" ;;
  *)
    echo "wine.sh: no architecture '$arch' (x64 or x86)" >&2
    exit 2 ;;
esac
