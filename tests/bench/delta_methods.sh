#!/usr/bin/env bash
# Patch size and build time of hotfix-pack's match delta against bsdiff, `xdelta3 -e -9` and
# `zstd --patch-from -19 --long=27`, on real 32-bit Windows binaries fetched with `npm pack`
# into BUILD_DIR/bench-inputs (two releases each of a Node add-on and of a Go program), and on
# the sample product's Tarnovex.exe (two versions) when it is built. Needs the npm registry.
#   tests/bench/delta_methods.sh BUILD_DIR   (uses BUILD_DIR/native/bin/hotfix-pack)
set -euo pipefail
build=${1:?usage: delta_methods.sh BUILD_DIR}
pack="$build/native/bin/hotfix-pack"
[ -x "$pack" ] || { echo "delta_methods: $pack is missing" >&2; exit 1; }
command -v npm >/dev/null || { echo "delta_methods: npm is missing" >&2; exit 1; }
inputs="$build/bench-inputs"
mkdir -p "$inputs"
fetch() { # package@version file -> path of the file
  local dir="$inputs/${1//[@\/]/_}"
  if [ ! -f "$dir/package/$2" ]; then
    mkdir -p "$dir"
    (cd "$dir" && npm pack --silent "$1" >/dev/null && tar -xzf ./*.tgz)
  fi
  echo "$dir/package/$2"
}
work=$(mktemp -d "${TMPDIR:-/tmp}/delta-methods.XXXXXX")
trap 'rm -rf "$work"' EXIT
now() { date +%s%N; }
secs() { awk -v n="$1" 'BEGIN { printf "%.2f", n / 1e9 }'; }

printf '%-10s %9s | %-24s %-24s %-24s %-24s\n' pair new "match (size ratio time)" bsdiff "xdelta3 -e -9" "zstd -19 --long=27"
row() { # name old new
  local name=$1 old=$2 new=$3 d="$work/$1"
  mkdir -p "$d/old" "$d/new"
  cp "$old" "$d/old/file"; cp "$new" "$d/new/file"
  local t=$(now); "$pack" --quiet --methods match --old "$d/old" --new "$d/new" --out "$d/p.rtp"; local tm=$(( $(now) - t ))
  # The match delta itself: the patch file less its header, entry and digest.
  local ours=$(( $(stat -c %s "$d/p.rtp") - 32 - (8 + 4 + 40 + 40 + 25) - 32 ))
  t=$(now); bsdiff "$old" "$new" "$d/bs"; local tb=$(( $(now) - t ))
  t=$(now); xdelta3 -e -9 -f -s "$old" "$new" "$d/xd"; local tx=$(( $(now) - t ))
  t=$(now); zstd -q -f -19 --long=27 --patch-from="$old" "$new" -o "$d/zs" 2>/dev/null; local tz=$(( $(now) - t ))
  local n=$(stat -c %s "$new") b=$(stat -c %s "$d/bs") x=$(stat -c %s "$d/xd") z=$(stat -c %s "$d/zs")
  awk -v name="$name" -v n="$n" -v o="$ours" -v b="$b" -v x="$x" -v z="$z" \
      -v to="$(secs $tm)" -v tb="$(secs $tb)" -v tx="$(secs $tx)" -v tz="$(secs $tz)" 'BEGIN {
    printf "%-10s %9d | %7d %5.2f%% %5.2fs    %7d %5.2f%% %5.2fs    %7d %5.2f%% %5.2fs    %7d %5.2f%% %5.2fs\n",
      name, n, o, 100*o/n, to, b, 100*b/n, tb, x, 100*x/n, tx, z, 100*z/n, tz
    printf "%-10s %9s | match/bsdiff %.3f, match/xdelta3 %.3f, match/zstd %.3f, time match/bsdiff %.1fx\n",
      "", "", o/b, o/x, o/z, (tb > 0 ? to/tb : 0) }'
}
row rollup "$(fetch @rollup/rollup-win32-ia32-msvc@4.24.3 rollup.win32-ia32-msvc.node)" \
           "$(fetch @rollup/rollup-win32-ia32-msvc@4.24.4 rollup.win32-ia32-msvc.node)"
row esbuild "$(fetch @esbuild/win32-ia32@0.24.0 esbuild.exe)" "$(fetch @esbuild/win32-ia32@0.24.1 esbuild.exe)"
samples="$build/win/samples/Tarnovex"
if [ -d "$samples" ]; then
  versions=($(ls "$samples" | sort -V))
  if [ ${#versions[@]} -ge 2 ]; then
    row sample "$samples/${versions[0]}/Tarnovex.exe" "$samples/${versions[-1]}/Tarnovex.exe"
  fi
fi
