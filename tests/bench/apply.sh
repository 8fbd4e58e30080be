#!/usr/bin/env bash
# Applying a patch to one 64 MiB file with the engine's core, once per way the file can be
# stored (VCDIFF delta, match delta, whole file): peak memory against the budget old + new +
# 16 MiB, and wall time against copying the new file into place, measured side by side in the
# same run (cp, then fsync of the copy: the engine flushes what it writes). Best of three each.
#
# Then the same under Wine with the real engine (bench_apply.exe: the engine core and the Win32
# file system), against a copy + flush made under Wine through the same file system, with the
# phase breakdown: read, write and flush are timed at the file system; hash is what hashing the
# files the engine must hash costs at the rate measured in the same process (a delta's old file
# and every new file are hashed on a thread of their own, beside the rest); decode is the rest of
# the engine thread's time (inflating, decoding, the engine's own work, waiting for a hash).
#   tests/bench/apply.sh BUILD_DIR   (uses BUILD_DIR/native/bin/{hotfix-pack,bench_apply} and,
#                                     when built, BUILD_DIR/win64/bench/bench_apply.exe, under wine64)
# A benchmark: it prints its figures and never fails on a number.
set -euo pipefail
build=${1:?usage: apply.sh BUILD_DIR}
bin="$build/native/bin"
for tool in hotfix-pack bench_apply; do
  [ -x "$bin/$tool" ] || { echo "apply: $bin/$tool is missing (build the native configuration)" >&2; exit 1; }
done
root=$(cd "$(dirname "$0")/../.." && pwd)
mib=${APPLY_BENCH_MIB:-64}
work=$(mktemp -d "${TMPDIR:-/tmp}/apply-bench.XXXXXX")
cleanup() {
  [ -z "${WINEPREFIX:-}" ] || wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/old" "$work/new"
"$bin/bench_apply" --make-pair "$mib" "$work/old/data.bin" "$work/new/data.bin"
old=$(stat -c %s "$work/old/data.bin")
new=$(stat -c %s "$work/new/data.bin")
echo "pair: $old -> $new bytes"

field() { awk -v name="$1" '{ for (i = 1; i < NF; ++i) if ($i == name) print $(i + 1) }' <<<"$2"; }
fresh_target() { rm -rf "$work/target" && cp -r "$work/old" "$work/target" && sync; }
now() { date +%s%N; }

# The best of three copies of the new file, cp + fsync.
copy_seconds() {
  local best= t start
  for run in 1 2 3; do
    rm -f "$work/copy.bin" && sync
    start=$(now)
    cp "$work/new/data.bin" "$work/copy.bin" && sync "$work/copy.bin"
    t=$(( $(now) - start ))
    if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
  done
  awk -v t="$best" 'BEGIN { printf "%.3f", t / 1e9 }'
}

budget=$(( (old + new) / 1024 + 16 * 1024 ))
declare -A patch_size
for method in vcdiff match whole; do
  "$bin/hotfix-pack" --quiet --methods "$method" --old "$work/old" --new "$work/new" --out "$work/$method.rtp"
  patch_size[$method]=$(stat -c %s "$work/$method.rtp")
  best= peak=
  for run in 1 2 3; do
    fresh_target
    line=$("$bin/bench_apply" "$work/target" "$work/$method.rtp")
    cmp -s "$work/target/data.bin" "$work/new/data.bin" || { echo "apply: wrong result ($method)" >&2; exit 1; }
    t=$(field seconds "$line") p=$(field peak_rss_kib "$line")
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
    if [ -z "$peak" ] || [ "$p" -gt "$peak" ]; then peak=$p; fi
  done
  copy=$(copy_seconds)
  awk -v m="$method" -v s="${patch_size[$method]}" -v p="$peak" -v b="$budget" -v a="$best" -v c="$copy" 'BEGIN {
    printf "%-6s patch %9d bytes  memory %6.1f MiB (budget %.1f, ratio %.2f, at most 1)  apply %.3f s, cp+fsync %.3f s, ratio %.2f (at most 2)\n",
      m, s, p / 1024, b / 1024, p / b, a, c, a / c
  }'
done

exe="$build/win64/bench/bench_apply.exe"
if [ ! -f "$exe" ] || ! why=$("$root/scripts/wine-starts.sh" x64 2>&1); then
  echo "under Wine: skipped (${why:-$exe missing})"
  exit 0
fi
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$root/scripts/wine-prefix.sh" "$WINEPREFIX" >/dev/null
wine() { "$root/scripts/wine.sh" x64 "$@"; }
windows() { wine winepath -w "$1" 2>/dev/null; }
echo "under Wine, x64 (seconds; hash: the files the engine hashes at the rate measured in the same run):"
printf '  %-6s %7s %7s %7s %7s %7s %7s %7s  %s\n' method total read hash decode write flush other "copy+flush, ratio"
for method in vcdiff match whole; do
  best= best_line=
  for run in 1 2 3; do
    fresh_target
    line=$(wine "$exe" "$(windows "$work/target")" "$(windows "$work/$method.rtp")" | tr -d '\r')
    cmp -s "$work/target/data.bin" "$work/new/data.bin" || { echo "apply: wrong result under Wine ($method)" >&2; exit 1; }
    t=$(field seconds "$line")
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t best_line=$line; fi
  done
  copy=
  for run in 1 2 3; do
    rm -f "$work/target/copy.bin" && sync
    t=$(field seconds "$(wine "$exe" --copy "$(windows "$work/target")" data.bin copy.bin | tr -d '\r')")
    if [ -z "$copy" ] || awk -v a="$t" -v b="$copy" 'BEGIN { exit !(a < b) }'; then copy=$t; fi
  done
  # What the engine hashes: the old file (at staging for a delta, whose old version its size
  # tells; at the check otherwise) and the new one as it is written; the whole patch file when
  # it is read; for a whole-file entry the old file once more, when it has been moved aside.
  hashed=$(( old + new + ${patch_size[$method]} ))
  [ "$method" != whole ] || hashed=$(( hashed + old ))
  l=$best_line
  awk -v m="$method" -v total="$(field seconds "$l")" -v rd="$(field read "$l")" -v wr="$(field write "$l")" \
      -v fl="$(field flush "$l")" -v ot="$(field other "$l")" -v cpu="$(field compute "$l")" \
      -v rate="$(field hash_mib_per_s "$l")" -v hashed="$hashed" -v copy="$copy" 'BEGIN {
    hash = hashed / 1048576 / rate
    printf "  %-6s %7.3f %7.3f %7.3f %7.3f %7.3f %7.3f %7.3f  %.3f, %.2f (at most 2)\n",
      m, total, rd, hash, cpu, wr, fl, ot, copy, total / copy
  }'
done
