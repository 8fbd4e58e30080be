#!/usr/bin/env bash
# Makes liblzma for Windows, static and decoder-only, from Debian's xz-utils source package:
# for x86 (i686-w64-mingw32, the default) or, with HOST=x86_64-w64-mingw32, for x64. Debian
# ships no MinGW build of it; the engine (Patchw32.dll) links this one in.
#
#   scripts/build-liblzma-mingw.sh OUT_DIR
#
# Result: OUT_DIR/install/{include/lzma.h,lib/liblzma.a} and OUT_DIR/install/.stamp. A second
# run with the stamp in place does nothing.
#
# The source comes through apt with a private state under OUT_DIR/apt, derived from the
# machine's own Debian sources (scripts/debian-source.sh): no mirror is named and no system
# file changes; apt checks the signatures.
# Fails loudly (non-zero, with the reason on stderr) when any step fails.
set -euo pipefail
. "$(dirname "$0")/debian-source.sh"

out=${1:?usage: build-liblzma-mingw.sh OUT_DIR}
host=${HOST:-i686-w64-mingw32}
mkdir -p "$out"
out=$(cd "$out" && pwd)
install="$out/install"
# What the stamp stands for: a change here rebuilds.
recipe="xz-utils/$host/decoders=lzma1,lzma2/static/v1"

if [ -f "$install/.stamp" ] && [ "$(cat "$install/.stamp")" = "$recipe" ] &&
   [ -f "$install/lib/liblzma.a" ] && [ -f "$install/include/lzma.h" ]; then
  exit 0
fi

fail() { echo "build-liblzma-mingw: $*" >&2; exit 1; }
command -v "$host-gcc" >/dev/null || fail "$host-gcc is missing (Debian package mingw-w64)"

log="$out/build.log"
: >"$log"
run() { run_logged build-liblzma-mingw "$log" "$@"; }
tree=$(fetch_debian_source xz-utils "$out" build-liblzma-mingw)
[ -x "$tree/configure" ] || (cd "$tree" && run autoreconf -fi)
[ -x "$tree/configure" ] || fail "the xz-utils source in $tree has no configure script"

echo "build-liblzma-mingw: building liblzma for $host from $(basename "$tree")"
work="$out/work"
rm -rf "$work" "$install"
mkdir -p "$work"
(cd "$work" && run "$tree/configure" --host="$host" --prefix="$install" \
  --disable-shared --enable-static \
  --disable-encoders --enable-decoders=lzma1,lzma2 \
  --disable-xz --disable-xzdec --disable-lzmadec --disable-lzmainfo --disable-lzma-links \
  --disable-scripts --disable-doc --disable-nls --disable-threads \
  CFLAGS="-O2")
run make -C "$work/src/liblzma" -j2
run make -C "$work/src/liblzma" install
[ -f "$install/lib/liblzma.a" ] && [ -f "$install/include/lzma.h" ] || fail "liblzma.a or lzma.h was not installed"
printf '%s' "$recipe" >"$install/.stamp"
echo "build-liblzma-mingw: $install/lib/liblzma.a"
