#!/usr/bin/env bash
# Makes liblzma for 32-bit Windows (i686-w64-mingw32), static and decoder-only, from Debian's
# xz-utils source package. Debian ships no MinGW build of it; the engine (Patchw32.dll) links
# this one in.
#
#   scripts/build-liblzma-mingw.sh OUT_DIR
#
# Result: OUT_DIR/install/{include/lzma.h,lib/liblzma.a} and OUT_DIR/install/.stamp. A second
# run with the stamp in place does nothing.
#
# The source comes through apt with a private state under OUT_DIR/apt (its own lists, cache and
# sources list). The sources list is derived from the machine's own Debian sources
# (/etc/apt/sources.list.d/*.sources, or one-line /etc/apt/sources.list entries): the same URIs,
# suites, components and Signed-By keyring, as deb-src. So no mirror is named here and no system
# file changes; apt checks the signature of the index it downloads and the hashes of the source.
# Fails loudly (non-zero, with the reason on stderr) when any step fails.
set -euo pipefail

out=${1:?usage: build-liblzma-mingw.sh OUT_DIR}
host=i686-w64-mingw32
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
command -v apt-get >/dev/null || fail "apt-get is missing: the source comes from Debian's xz-utils source package"
command -v dpkg-source >/dev/null || fail "dpkg-source is missing (Debian package dpkg-dev)"

apt="$out/apt"
rm -rf "$apt"
mkdir -p "$apt/state/lists/partial" "$apt/cache/archives/partial" "$apt/etc/sources.list.d" "$apt/etc/preferences.d"
: >"$apt/etc/sources.list"

# deb822 stanzas become deb-src stanzas; every other field (URIs, Suites, Components,
# Signed-By) is kept as it is.
for sources in /etc/apt/sources.list.d/*.sources; do
  [ -e "$sources" ] || continue
  awk '
    /^[Tt]ypes:/ { if ($0 ~ /[ \t]deb([ \t]|$)/) print "Types: deb-src"; else print; next }
    { print }
  ' "$sources" >"$apt/etc/sources.list.d/$(basename "$sources")"
done
# One-line entries: "deb [options] URI suite components" becomes "deb-src ...".
for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -e "$list" ] || continue
  sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$list" >>"$apt/etc/sources.list"
done
if ! grep -qs 'deb-src' "$apt/etc/sources.list" "$apt"/etc/sources.list.d/*; then
  fail "no Debian package source found in /etc/apt/sources.list.d/*.sources or /etc/apt/sources.list"
fi

apt_options=(
  -o "Dir::State=$apt/state"
  -o "Dir::State::Lists=$apt/state/lists"
  -o "Dir::Cache=$apt/cache"
  -o "Dir::Etc::sourcelist=$apt/etc/sources.list"
  -o "Dir::Etc::sourceparts=$apt/etc/sources.list.d"
  -o "Dir::Etc::preferencesparts=$apt/etc/preferences.d"
  -o "APT::Sandbox::User=root"
)
log="$out/build.log"
: >"$log"
run() {
  if ! "$@" >>"$log" 2>&1; then
    echo "build-liblzma-mingw: failed: $*" >&2
    tail -n 40 "$log" >&2
    exit 1
  fi
}

echo "build-liblzma-mingw: fetching Debian's xz-utils source package (private apt state in $apt)"
run apt-get "${apt_options[@]}" -q update
src="$out/src"
rm -rf "$src"
mkdir -p "$src"
(cd "$src" && run apt-get "${apt_options[@]}" -q source xz-utils)
tree=$(find "$src" -mindepth 1 -maxdepth 1 -type d -name 'xz-utils-*' | head -n 1)
[ -n "$tree" ] && [ -d "$tree" ] || fail "apt-get source xz-utils left no source tree in $src"
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
