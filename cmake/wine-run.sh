#!/usr/bin/env bash
# Runs a Windows program under Wine in the test run's private prefix:
#   cmake/wine-run.sh x64|x86 PROGRAM [ARGUMENT...]   (ctest's emulator, cmake/mingw.cmake)
# HOTFIX_WINEPREFIX names the prefix (scripts/wine-prefix.sh makes it once per run).
set -euo pipefail
: "${HOTFIX_WINEPREFIX:?HOTFIX_WINEPREFIX is not set: make the prefix with scripts/wine-prefix.sh}"
export WINEPREFIX="$HOTFIX_WINEPREFIX"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec "$(dirname "$0")/../scripts/wine.sh" "$@"
