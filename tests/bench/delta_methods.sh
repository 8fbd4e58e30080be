#!/usr/bin/env bash
# Patch size and build time of hotfix-pack (its whole .RTP, every method tried, the smallest
# kept) against bsdiff, `xdelta3 -e -9` and `zstd --patch-from=OLD -19 --long=27`, on real 32-bit
# Windows binaries fetched with `npm pack` into BUILD_DIR/bench-inputs (two releases each of a
# Node add-on and of a Go program, pinned by version and by the SHA-256 of the file), and on the
# sample product's Tarnovex.exe (two versions) when it is built. Ours is then applied by the real
# engine (BUILD_DIR/win64/bin/patch.exe and Patchw32.dll, x64) under Wine, in a private prefix, and the
# result compared byte for byte with the new file. Needs the npm registry.
#   tests/bench/delta_methods.sh BUILD_DIR   (uses BUILD_DIR/native/bin/hotfix-pack)
set -euo pipefail
build=${1:?usage: delta_methods.sh BUILD_DIR}
root=$(cd "$(dirname "$0")/../.." && pwd)
pack="$build/native/bin/hotfix-pack"
engine="$build/win64/bin"
[ -x "$pack" ] || { echo "delta_methods: $pack is missing" >&2; exit 1; }
command -v npm >/dev/null || { echo "delta_methods: npm is missing" >&2; exit 1; }
inputs="$build/bench-inputs"
mkdir -p "$inputs"
fetch() { # package@version file sha256 -> path of the file, fetched once and checked each time
  local dir="$inputs/${1//[@\/]/_}"
  if [ ! -f "$dir/package/$2" ]; then
    rm -rf "$dir" && mkdir -p "$dir"
    (cd "$dir" && npm pack --silent "$1" >/dev/null && tar -xzf ./*.tgz)
  fi
  if [ "$(sha256sum <"$dir/package/$2" | cut -d' ' -f1)" != "$3" ]; then
    echo "delta_methods: $1 $2 is not the pinned file (SHA-256 $3); removed from the cache" >&2
    rm -rf "$dir"
    return 1
  fi
  echo "$dir/package/$2"
}
work=$(mktemp -d "${TMPDIR:-/tmp}/delta-methods.XXXXXX")
wine_ready=
cleanup() {
  if [ -n "$wine_ready" ]; then WINEPREFIX=$work/prefix wineserver -k >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
now() { date +%s%N; }
secs() { awk -v n="$1" 'BEGIN { printf "%.2f", n / 1e9 }'; }

# Applies NAME's patch with the engine under Wine to a copy of the old file; prints the outcome.
apply_under_wine() { # name new
  [ -f "$engine/patch.exe" ] && [ -f "$engine/Patchw32.dll" ] && "$root/scripts/wine-starts.sh" x64 2>/dev/null ||
    { echo "not applied (no Windows build, or Wine cannot start it here)"; return; }
  local drive=$work/prefix/drive_c
  if [ -z "$wine_ready" ]; then
    "$root/scripts/wine-prefix.sh" "$work/prefix" >/dev/null
    mkdir -p "$drive/engine" && cp "$engine/patch.exe" "$engine/Patchw32.dll" "$drive/engine/"
    wine_ready=1
  fi
  mkdir -p "$drive/$1" && cp "$work/$1/old/file" "$drive/$1/file" && cp "$work/$1/p.rtp" "$drive/$1.rtp"
  local t=$(now) code=0
  HOTFIX_WINEPREFIX=$work/prefix "$root/cmake/wine-run.sh" x64 'C:\engine\patch.exe' "C:\\$1" "C:\\$1.rtp" \
    >"$work/$1.log" 2>&1 || code=$?
  local ta=$(( $(now) - t ))
  if [ "$code" -eq 0 ] && cmp -s "$drive/$1/file" "$2"; then
    echo "applied by patch.exe under Wine in $(secs $ta)s: identical to the new file"
  else
    echo "applied by patch.exe under Wine: exit $code, result DIFFERS from the new file ($(tr -d '\r' <"$work/$1.log" | tail -n 1))"
  fi
}

printf '%-8s %9s | %-26s %-26s %-26s %-26s\n' pair new "hotfix-pack (size %new s)" bsdiff "xdelta3 -e -9" "zstd -19 --long=27"
row() { # name old new
  local name=$1 old=$2 new=$3 d="$work/$1"
  mkdir -p "$d/old" "$d/new"
  cp "$old" "$d/old/file"; cp "$new" "$d/new/file"
  local t report
  t=$(now); report=$("$pack" --old "$d/old" --new "$d/new" --out "$d/p.rtp"); local tm=$(( $(now) - t ))
  t=$(now); bsdiff "$old" "$new" "$d/bs"; local tb=$(( $(now) - t ))
  t=$(now); xdelta3 -e -9 -f -s "$old" "$new" "$d/xd"; local tx=$(( $(now) - t ))
  t=$(now); zstd -q -f -19 --long=27 --patch-from="$old" "$new" -o "$d/zs" 2>/dev/null; local tz=$(( $(now) - t ))
  local n=$(stat -c %s "$new") o=$(stat -c %s "$d/p.rtp") b=$(stat -c %s "$d/bs") x=$(stat -c %s "$d/xd") z=$(stat -c %s "$d/zs")
  awk -v name="$name" -v n="$n" -v o="$o" -v b="$b" -v x="$x" -v z="$z" \
      -v to="$(secs $tm)" -v tb="$(secs $tb)" -v tx="$(secs $tx)" -v tz="$(secs $tz)" 'BEGIN {
    printf "%-8s %9d | %8d %6.2f%% %6.2fs    %8d %6.2f%% %6.2fs    %8d %6.2f%% %6.2fs    %8d %6.2f%% %6.2fs\n",
      name, n, o, 100*o/n, to, b, 100*b/n, tb, x, 100*x/n, tx, z, 100*z/n, tz
    printf "%-8s %9s | ours/bsdiff %.3f, ours/zstd %.3f, ours/xdelta3 %.3f; build time ours/bsdiff %.1fx\n",
      "", "", o/b, o/z, o/x, (tb > 0 ? to/tb : 0) }'
  printf '%-8s %9s | %s; %s\n' "" "" "$(grep -m1 -o '^[^:]*: [a-z]* ([0-9]* bytes)' <<<"$report" | sed 's/^[^:]*: //')" \
    "$(apply_under_wine "$name" "$new")"
}
rollup=(@rollup/rollup-win32-ia32-msvc rollup.win32-ia32-msvc.node)
old=$(fetch "${rollup[0]}@4.24.3" "${rollup[1]}" e7e0a20ccea4ffee8c4e1e99df347e4b92213915d1b9a5cce31d5d9f3974e14a)
new=$(fetch "${rollup[0]}@4.24.4" "${rollup[1]}" a8351ff07f583fae952681b5f8e9809fd25cf70c8170c5c695faf88002e0d6f8)
row rollup "$old" "$new"
old=$(fetch @esbuild/win32-ia32@0.24.0 esbuild.exe f424bb1cb4e05e940e02d4db0b1a203eb37a657764dc121b3d0f3bfb37f4f88c)
new=$(fetch @esbuild/win32-ia32@0.24.1 esbuild.exe 4dfd72c6c4dd6f46411f2db65b22b9333d8ece35d064746402149891c4b2acf9)
row esbuild "$old" "$new"
samples="$build/win/samples/Tarnovex"
if [ -d "$samples" ]; then
  versions=($(ls "$samples" | sort -V))
  if [ ${#versions[@]} -ge 2 ]; then
    row sample "$samples/${versions[0]}/Tarnovex.exe" "$samples/${versions[-1]}/Tarnovex.exe"
  fi
fi
