#!/usr/bin/env bash
# Makes libxdelta3 (the VCDIFF encoder hotfix-pack runs in its own process), static and native,
# from Debian's xdelta3 source package. Debian ships the xdelta3 program but no library.
#
#   scripts/build-libxdelta3.sh OUT_DIR
#
# Result: OUT_DIR/install/{include/xdelta3/*.h,lib/libxdelta3.a} and OUT_DIR/install/.stamp.
# A second run with the stamp in place does nothing.
#
# xdelta3's library is one translation unit (xdelta3.c includes the rest); the defines below
# are the library's whole configuration, and whoever includes xdelta3.h must use the same ones
# (install/defines.txt lists them, one per line). Secondary compressors are left out: patches
# carry VCDIFF without them (`-S none`), which is all the engine's decoder accepts.
#
# The source comes through apt with a private state under OUT_DIR/apt, derived from the
# machine's own Debian sources (scripts/debian-source.sh): no mirror is named and no system
# file changes; apt checks the signatures.
# Fails loudly (non-zero, with the reason on stderr) when any step fails.
set -euo pipefail
. "$(dirname "$0")/debian-source.sh"

out=${1:?usage: build-libxdelta3.sh OUT_DIR}
mkdir -p "$out"
out=$(cd "$out" && pwd)
install="$out/install"
defines=(
  -DXD3_MAIN=0 -DXD3_DEBUG=0 -DXD3_USE_LARGEFILE64=1 -DXD3_ENCODER=1
  -DSECONDARY_DJW=0 -DSECONDARY_FGK=0 -DSECONDARY_LZMA=0
  -DEXTERNAL_COMPRESSION=0 -DSHELL_TESTS=0 -DREGRESSION_TEST=0 -DVCDIFF_TOOLS=0
  -DSIZEOF_SIZE_T="$(getconf LONG_BIT | awk '{ print $1 / 8 }')" -DSIZEOF_UNSIGNED_LONG_LONG=8
)
# What the stamp stands for: a change here rebuilds.
recipe="xdelta3/native/static/${defines[*]}/v1"

if [ -f "$install/.stamp" ] && [ "$(cat "$install/.stamp")" = "$recipe" ] &&
   [ -f "$install/lib/libxdelta3.a" ] && [ -f "$install/include/xdelta3/xdelta3.h" ]; then
  exit 0
fi

fail() { echo "build-libxdelta3: $*" >&2; exit 1; }
command -v cc >/dev/null || fail "cc is missing (Debian package build-essential)"

log="$out/build.log"
: >"$log"
run() { run_logged build-libxdelta3 "$log" "$@"; }
tree=$(fetch_debian_source xdelta3 "$out" build-libxdelta3)
# Upstream keeps the library in a subfolder in some releases.
code=$(dirname "$(find "$tree" -name xdelta3.c -not -path '*/testing/*' | head -n 1)")
[ -f "$code/xdelta3.c" ] && [ -f "$code/xdelta3.h" ] || fail "no xdelta3.c/xdelta3.h in $tree"

echo "build-libxdelta3: building libxdelta3 from $(basename "$tree")"
work="$out/work"
rm -rf "$work" "$install"
mkdir -p "$work" "$install/lib" "$install/include/xdelta3"
run cc -O2 -fPIC -w "${defines[@]}" -I"$code" -c "$code/xdelta3.c" -o "$work/xdelta3.o"
run ar rcs "$install/lib/libxdelta3.a" "$work/xdelta3.o"
# xdelta3.h includes these by name; nothing else is needed to call the library.
for header in xdelta3.h xdelta3-list.h; do
  [ -f "$code/$header" ] && cp "$code/$header" "$install/include/xdelta3/"
done
printf '%s\n' "${defines[@]}" >"$install/defines.txt"
printf '%s' "$recipe" >"$install/.stamp"
echo "build-libxdelta3: $install/lib/libxdelta3.a"
