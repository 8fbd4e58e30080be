#!/usr/bin/env bash
# The real engine on a volume too small for the new file: a 2 MiB tmpfs, given to the test
# run's Wine prefix as a drive letter, holds an update directory whose one file grows to 3 MiB.
# patch.exe must refuse before staging (exit 4, naming the volume, the space needed and the space
# free) and leave the directory as it was: no journal, no staged file.
#   engine_space_test.sh x64|x86 WINDOWS_BIN NATIVE_BIN
# Mounting takes root (or the capability): without it the test is skipped (exit 77).
set -euo pipefail
arch=${1:?usage: engine_space_test.sh ARCH WINDOWS_BIN NATIVE_BIN}
bin=${2:?}
native=${3:?}
here=$(cd "$(dirname "$0")" && pwd)
run() { "$here/../../cmake/wine-run.sh" "$arch" "$@"; }
: "${HOTFIX_WINEPREFIX:?HOTFIX_WINEPREFIX is not set: make the prefix with scripts/wine-prefix.sh}"

work=$(mktemp -d)
drive=$work/drive
letter=
mounted=
cleanup() {
  [ -n "$letter" ] && rm -f "$HOTFIX_WINEPREFIX/dosdevices/$letter:"
  [ -n "$mounted" ] && umount "$drive"
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/old" "$work/new" "$drive"
head -c 65536 /dev/urandom >"$work/old/app.dat"
head -c 3145728 /dev/zero | tr '\0' 'n' >"$work/new/app.dat"
"$native/hotfix-pack" --quiet --old "$work/old" --new "$work/new" --out "$work/space.rtp"

if ! mount -t tmpfs -o size=2m tmpfs "$drive" 2>"$work/mount.err"; then
  echo "SKIPPED: cannot mount a small tmpfs here ($(cat "$work/mount.err")); run as root to test a full volume"
  exit 77
fi
mounted=1
for candidate in t s r q p o n m; do
  if [ ! -e "$HOTFIX_WINEPREFIX/dosdevices/$candidate:" ]; then letter=$candidate; break; fi
done
[ -n "$letter" ] || { echo "FAILED: no free drive letter in the prefix"; exit 1; }
ln -s "$drive" "$HOTFIX_WINEPREFIX/dosdevices/$letter:"
mkdir "$drive/app"
cp "$work/old/app.dat" "$drive/app/app.dat"

status=0
run "$bin/patch.exe" "$letter:\\app" "Z:${work//\//\\}\\space.rtp" >"$work/out.txt" 2>&1 || status=$?
cat "$work/out.txt"
fail() { echo "FAILED: $*"; exit 1; }
[ "$status" -eq 4 ] || fail "exit code $status, not 4"
grep -Eiq "not enough space on the volume of $letter:\\\\app\\\\: [0-9]+ bytes needed .*, [0-9]+ bytes free" "$work/out.txt" ||
  fail "no refusal naming the volume, the space needed and the space free"
! grep -q "writing the new file" "$work/out.txt" || fail "the new file was staged before the refusal"
[ "$(ls -A "$drive/app")" = app.dat ] || fail "the update directory holds more than app.dat: $(ls -A "$drive/app")"
cmp -s "$work/old/app.dat" "$drive/app/app.dat" || fail "app.dat was changed"
echo "PASSED: refused before staging, nothing touched"
