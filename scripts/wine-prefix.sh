#!/usr/bin/env bash
# Makes a private Wine prefix for one test run (or the demo) at the path given:
#   scripts/wine-prefix.sh DIR
# The prefix gets the null graphics driver, so message boxes work without a display
# (unless HOTFIX_WINE_GRAPHICS=x11, for the demo's picture), and its wineserver is
# restarted afterwards so the driver setting takes effect.
set -euo pipefail
dir=${1:?usage: wine-prefix.sh DIR}
rm -rf "$dir"
mkdir -p "$dir"
export WINEPREFIX
WINEPREFIX=$(cd "$dir" && pwd)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A 64-bit prefix, made and set up by Wine's 64-bit tools: it runs x64 programs, and x86 ones
# where the kernel starts 32-bit programs.
here=$(cd "$(dirname "$0")" && pwd)
wine() { "$here/wine.sh" x64 "$@"; }
wine wineboot -i >/dev/null 2>&1
if [ "${HOTFIX_WINE_GRAPHICS:-null}" = null ]; then
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
fi
# A program that crashes ends at once, its backtrace on standard error: the debugger shows no
# crash dialog (without a display it would wait for ever, and the test run with it).
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
wineserver -w
echo "wine prefix ready: $WINEPREFIX"
