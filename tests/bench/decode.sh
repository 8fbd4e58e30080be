#!/usr/bin/env bash
# Decoding throughput: our VCDIFF decoder against `xdelta3 -d`, on the same delta of a 64 MiB
# synthetic pair with scattered edits. Both decode from files into a file; each is run three
# times, alternately, and its best time counts. Prints both throughputs and their ratio.
#   tests/bench/decode.sh BUILD_DIR      (uses BUILD_DIR/native/bin/bench_decode, a Release build)
set -euo pipefail
build=${1:?usage: decode.sh BUILD_DIR}
bench="$build/native/bin/bench_decode"
mib=${DECODE_BENCH_MIB:-64}
if [ ! -x "$bench" ]; then
  echo "decode: $bench is missing (build the native configuration first)" >&2
  exit 1
fi
command -v xdelta3 >/dev/null || { echo "decode: xdelta3 is not installed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/decode-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$bench" --make-pair "$mib" "$work/src" "$work/tgt"
xdelta3 -e -9 -S none -A -D -f -s "$work/src" "$work/tgt" "$work/delta"
size=$(stat -c %s "$work/tgt")
echo "pair: $(stat -c %s "$work/src") -> $size bytes, delta $(stat -c %s "$work/delta") bytes"

now() { date +%s%N; }
best_ours=
best_xdelta=
for run in 1 2 3; do
  start=$(now)
  xdelta3 -d -f -s "$work/src" "$work/delta" "$work/out-xdelta"
  t=$(( $(now) - start ))
  if [ -z "$best_xdelta" ] || [ "$t" -lt "$best_xdelta" ]; then best_xdelta=$t; fi

  start=$(now)
  "$bench" "$work/src" "$work/delta" "$work/out-ours"
  t=$(( $(now) - start ))
  if [ -z "$best_ours" ] || [ "$t" -lt "$best_ours" ]; then best_ours=$t; fi
done

cmp -s "$work/out-ours" "$work/tgt" || { echo "decode: our output differs from the target" >&2; exit 1; }
cmp -s "$work/out-xdelta" "$work/tgt" || { echo "decode: xdelta3's output differs from the target" >&2; exit 1; }

awk -v size="$size" -v ours="$best_ours" -v theirs="$best_xdelta" 'BEGIN {
  mbOurs = size / (ours / 1e9) / 1048576
  mbTheirs = size / (theirs / 1e9) / 1048576
  printf "xdelta3 -d:   %8.1f MiB/s (%.3f s)\n", mbTheirs, theirs / 1e9
  printf "our decoder:  %8.1f MiB/s (%.3f s)\n", mbOurs, ours / 1e9
  printf "ratio (ours / xdelta3 -d): %.2fx\n", mbOurs / mbTheirs
}'
