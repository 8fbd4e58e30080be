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
# The source comes through apt with a private state under OUT_DIR/apt (its own lists, cache and
# sources list), derived from the machine's own Debian sources exactly as
# scripts/build-liblzma-mingw.sh does: same URIs, suites, components and Signed-By keyring, as
# deb-src. No mirror is named here and no system file changes; apt checks the signatures.
# Fails loudly (non-zero, with the reason on stderr) when any step fails.
set -euo pipefail

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
command -v apt-get >/dev/null || fail "apt-get is missing: the source comes from Debian's xdelta3 source package"
command -v dpkg-source >/dev/null || fail "dpkg-source is missing (Debian package dpkg-dev)"

apt="$out/apt"
rm -rf "$apt"
mkdir -p "$apt/state/lists/partial" "$apt/cache/archives/partial" "$apt/etc/sources.list.d" "$apt/etc/preferences.d"
: >"$apt/etc/sources.list"
for sources in /etc/apt/sources.list.d/*.sources; do
  [ -e "$sources" ] || continue
  awk '
    /^[Tt]ypes:/ { if ($0 ~ /[ \t]deb([ \t]|$)/) print "Types: deb-src"; else print; next }
    { print }
  ' "$sources" >"$apt/etc/sources.list.d/$(basename "$sources")"
done
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
    echo "build-libxdelta3: failed: $*" >&2
    tail -n 40 "$log" >&2
    exit 1
  fi
}

echo "build-libxdelta3: fetching Debian's xdelta3 source package (private apt state in $apt)"
run apt-get "${apt_options[@]}" -q update
src="$out/src"
rm -rf "$src"
mkdir -p "$src"
(cd "$src" && run apt-get "${apt_options[@]}" -q source xdelta3)
tree=$(find "$src" -mindepth 1 -maxdepth 1 -type d -name 'xdelta3-*' | head -n 1)
[ -n "$tree" ] && [ -d "$tree" ] || fail "apt-get source xdelta3 left no source tree in $src"
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
