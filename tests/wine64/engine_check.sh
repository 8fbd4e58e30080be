#!/usr/bin/env bash
# The engine's Win32 parts under wine64, for a machine where Wine cannot start the 32-bit
# programs (scripts/wine-starts.sh): the engine core with the Win32 file system (mapping,
# sharing, renames), BCrypt hashing and its background thread, built for x86_64 from the same
# sources as Patchw32.dll (bench_apply.exe, the benchmarks' helper), apply a patch of each
# method to a real directory, and refuse one whose old file has other bytes, leaving it as it
# was. It stands in for none of the installer's tests.
#   tests/wine64/engine_check.sh BUILD_DIR   (uses BUILD_DIR/native/bin/{hotfix-pack,bench_apply})
set -euo pipefail
build=$(cd "${1:?usage: engine_check.sh BUILD_DIR}" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$build/win64
wine64=/usr/lib/wine/wine64
cxx=x86_64-w64-mingw32-g++-posix
for tool in "$wine64" "$(command -v "$cxx" || echo "$cxx")" "$build/native/bin/hotfix-pack" "$build/native/bin/bench_apply"; do
  [ -x "$tool" ] || { echo "engine_check: $tool is missing" >&2; exit 1; }
done

mkdir -p "$out"
HOST=x86_64-w64-mingw32 "$root/scripts/build-liblzma-mingw.sh" "$out/xz-mingw"
xz=$out/xz-mingw/install
exe=$out/bench_apply.exe
# The sources of the engine library's core and Win32 adapter (engine/CMakeLists.txt).
"$cxx" -std=c++17 -O2 -DLZMA_API_STATIC -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0601 \
  -I"$root" -I"$xz/include" "$root"/tests/bench/bench_apply.cpp "$root"/engine/*.cpp \
  "$root"/engine/win32/sha256_bcrypt.cpp "$root"/engine/win32/win32_file_system.cpp "$root"/support/win32/*.cpp \
  -o "$exe" -static "$xz/lib/liblzma.a" -lz -lbcrypt

work=$(mktemp -d "${TMPDIR:-/tmp}/engine-check.XXXXXX")
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
"$wine64" wineboot -i >/dev/null 2>&1 || true

status=0
check() { # what file expected-exit-code method pair expected-file
  local code=0
  rm -rf "$work/target" && mkdir "$work/target"
  cp "$2" "$work/target/data.bin"
  "$wine64" "$exe" "Z:${work//\//\\}\\target" "Z:${work//\//\\}\\$5-$4.rtp" >"$work/out.txt" 2>&1 || code=$?
  if [ "$code" != "$3" ] || ! cmp -s "$work/target/data.bin" "$6" || [ "$(ls "$work/target")" != data.bin ]; then
    echo "FAIL  $1 ($5, $4): exit $code, $(tr -d '\r' <"$work/out.txt" | cut -c1-60); left: $(ls "$work/target" | tr '\n' ' ')"
    status=1
  else
    echo "ok    $1 ($5, $4)"
  fi
}
pair() { # name old new methods...
  local name=$1 old=$2 new=$3
  shift 3
  mkdir -p "$work/$name/old" "$work/$name/new"
  cp "$old" "$work/$name/old/data.bin" && cp "$new" "$work/$name/new/data.bin"
  cp "$old" "$work/$name/other.bin"
  printf 'X' | dd of="$work/$name/other.bin" bs=1 seek=1000 conv=notrunc 2>/dev/null # same size, other bytes
  for method in "$@"; do
    "$build/native/bin/hotfix-pack" --quiet --methods "$method" --old "$work/$name/old" --new "$work/$name/new" \
      --out "$work/$name-$method.rtp"
    check "applied, the new file exactly" "$work/$name/old/data.bin" 0 "$method" "$name" "$work/$name/new/data.bin"
    check "other bytes refused, the file left as it was" "$work/$name/other.bin" 1 "$method" "$name" "$work/$name/other.bin"
  done
}
"$build/native/bin/bench_apply" --make-pair 4 "$work/old.bin" "$work/new.bin"
pair synthetic "$work/old.bin" "$work/new.bin" vcdiff match whole
# Two releases of the sample product's executable (a PE): the match delta converts the branch
# targets in the old file's copy-on-write view, and the file itself is read for its hash on the
# background thread.
samples=$build/win/samples/Tarnovex
if [ -d "$samples" ]; then
  versions=($(ls "$samples" | sort -V))
  [ "${#versions[@]}" -lt 2 ] || pair program "$samples/${versions[0]}/Tarnovex.exe" "$samples/${versions[-1]}/Tarnovex.exe" match
fi
exit $status
