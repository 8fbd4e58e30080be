#!/usr/bin/env bash
# The main job, on the sample product: lays out an installation in a fresh Wine prefix under a
# path with spaces, registers its document type the way old installers did (8.3 short names,
# " /dde"), runs the hotfix installer, answers its message box, and tells the story.
# A picture of the message box, as the user sees it, is saved under dist/demo/.
#
#   scripts/demo.sh BUILD_DIR ARCH [PRODUCT]   ARCH: x86 or x64, the installer that runs (its
#                                              Windows build: BUILD_DIR/win or BUILD_DIR/win64)
#                                              PRODUCT: a product's executable name without .exe
#                                              (HotFix 2: Tarnovex, Sellidor or TarnovexViewer)
set -euo pipefail
build=${1:-build}
arch=${2:-x64}
product=${3:-Tarnovex}
root=$(cd "$(dirname "$0")/.." && pwd)
dist=$root/dist
win=$root/$build/win64
[ "$arch" = x64 ] || win=$root/$build/win
uidriver=$win/bin/hotfix-uidriver.exe
definition=$win/hotfix-definition.sh
[ -f "$definition" ] || { echo "demo: run make demo" >&2; exit 1; }

# The hotfix's installer and products, from its definition (written by the build). The demo
# installs the product's first base version and expects its target version afterwards.
. "$definition"
installer=$hotfix_installer
row=$(printf '%s' "$hotfix_products" | awk -F'|' -v p="$product" '$1 == p')
if [ -z "$row" ]; then
  echo "demo: PRODUCT must be one of: $(printf '%s' "$hotfix_products" | cut -d'|' -f1 | tr '\n' ' ')" >&2
  exit 2
fi
IFS='|' read -r _ display base sample target expected <<<"$row"
folder="$display 2"   # where the product's version 2 installs itself

[ -d "$sample" ] && [ -f "$win/bin/$installer" ] || { echo "demo: run make demo" >&2; exit 1; }
why=$("$root/scripts/wine-starts.sh" "$arch" 2>&1) || { echo "demo: Wine cannot run the $arch hotfix here: $why" >&2; exit 1; }
wine() { "$root/scripts/wine.sh" "$arch" "$@"; }

# A display of our own, so the message box is drawn as a user would see it.
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
prefix=$root/$build/demo-prefix
cleanup() {
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
sleep 1

echo "== Preparing a Windows machine (a fresh Wine prefix)"
HOTFIX_WINE_GRAPHICS=x11 "$root/scripts/wine-prefix.sh" "$prefix" >/dev/null
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A Wine desktop window of its own: Wine then draws the title bars itself, as Windows would,
# so the picture shows the box's caption.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
wineserver -w
drive=$prefix/drive_c
win() { wine "$uidriver" "$@" | tr -d '\r'; }

appdir_win="C:\\Program Files\\Veltrix\\$folder"
appdir_unix="$drive/Program Files/Veltrix/$folder"
mkdir -p "$appdir_unix"
cp "$sample"/* "$appdir_unix/"
exe_win="$appdir_win\\$product.exe"
short=$(win shortpath "$exe_win")
# Old installers wrote the short form, in capitals, followed by the DDE switch.
registered="$(echo "${short%\\*}" | tr '[:lower:]' '[:upper:]')\\$(echo "${short##*\\}" | tr '[:lower:]' '[:upper:]') /dde"
win register "$registered"

echo "Installed:   $product $base in \"$appdir_win\""
echo "             $(ls "$appdir_unix" | tr '\n' ' ')"
echo "Registered:  HKCR\\$hotfix_open_command_key = \"$registered\""
echo "Version before: $(win version "$exe_win")"

echo
echo "== Running $installer, built for $arch (it patches, then shows one message box; the demo answers it)"
mkdir -p "$dist/demo"
picture=$dist/demo/message-box-$product.png
log=$(mktemp)
cp "$win/bin/$installer" "$drive/$installer"
rm -f "$drive/hotfix-demo.log"
# The installer's own log tells what it found and did; the engine's report goes there too.
wine "$uidriver" run --answer ok --hold 2000 --timeout 120 -- "C:\\$installer" /log 'C:\hotfix-demo.log' \
  >"$log" 2>/dev/null &
driver=$!
for _ in $(seq 1 600); do
  grep -q '^rect:' "$log" 2>/dev/null && break
  kill -0 "$driver" 2>/dev/null || break
  sleep 0.2
done
if rect=$(grep '^rect:' "$log" | tr -d '\r' | head -n1) && [ -n "$rect" ]; then
  read -r _ left top width height <<<"$rect"
  sleep 0.5
  xwd -root -display "$DISPLAY" -silent | xwdtopnm 2>/dev/null |
    pnmcut -left "$left" -top "$top" -width "$width" -height "$height" 2>/dev/null |
    pnmtopng >"$picture" 2>/dev/null || true
fi
wait "$driver" || true
# What the installer found and did, from its log, then what the user saw.
if [ -f "$drive/hotfix-demo.log" ]; then
  echo "What the installer found and did (its /log, time stamps left out):"
  tr -d '\r' <"$drive/hotfix-demo.log" | cut -d' ' -f3- |
    grep -vE '^(Hotfix started|Mode|Run [0-9]+$|Answer|Exit code)' | sed 's/^/  /'
fi
echo "The message box the user saw:"
tr -d '\r' <"$log" | sed -n '/^appeared:/,$p' | grep -vE '^(rect|appeared):' | sed 's/^/  /'
rm -f "$log" "$drive/$installer"
[ -s "$picture" ] && echo "  (picture of the message box: ${picture#$root/})"

echo
echo "== Afterwards"
echo "Version after:  $(win version "$exe_win")"
if diff -r "$appdir_unix" "$expected" >/dev/null; then
  echo "Application directory: exactly the files of $product $target, byte for byte, and nothing else:"
  echo "             $(ls "$appdir_unix" | tr '\n' ' ')"
else
  echo "Application directory differs from $product $target:"
  diff -rq "$appdir_unix" "$expected" | sed 's/^/  /'
  exit 1
fi
