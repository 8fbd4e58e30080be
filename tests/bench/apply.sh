#!/usr/bin/env bash
# Applying a patch to one 64 MiB file with the engine's core (native, the same code as
# Patchw32.dll): peak memory against the budget old + new + 16 MiB, and wall time against
# copying the new file into place (cp, then fsync of the copy: the engine flushes what it writes).
#   tests/bench/apply.sh BUILD_DIR   (uses BUILD_DIR/native/bin/{hotfix-pack,bench_apply})
set -euo pipefail
build=${1:?usage: apply.sh BUILD_DIR}
bin="$build/native/bin"
for tool in hotfix-pack bench_apply; do
  [ -x "$bin/$tool" ] || { echo "apply: $bin/$tool is missing (build the native configuration)" >&2; exit 1; }
done
mib=${APPLY_BENCH_MIB:-64}
work=$(mktemp -d "${TMPDIR:-/tmp}/apply-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/old" "$work/new"
"$bin/bench_apply" --make-pair "$mib" "$work/old/data.bin" "$work/new/data.bin"
"$bin/hotfix-pack" --quiet --old "$work/old" --new "$work/new" --out "$work/patch.rtp"
old=$(stat -c %s "$work/old/data.bin")
new=$(stat -c %s "$work/new/data.bin")
echo "pair: $old -> $new bytes, patch $(stat -c %s "$work/patch.rtp") bytes"

now() { date +%s%N; }
best_apply=
best_copy=
peak=
for run in 1 2 3; do
  rm -rf "$work/target" && cp -r "$work/old" "$work/target" && sync
  line=$("$bin/bench_apply" "$work/target" "$work/patch.rtp")
  cmp -s "$work/target/data.bin" "$work/new/data.bin" || { echo "apply: wrong result" >&2; exit 1; }
  t=$(awk '{ for (i = 1; i < NF; ++i) if ($i == "seconds") printf "%d", $(i + 1) * 1000000000 }' <<<"$line")
  p=$(awk '{ for (i = 1; i < NF; ++i) if ($i == "peak_rss_kib") print $(i + 1) }' <<<"$line")
  if [ -z "$best_apply" ] || [ "$t" -lt "$best_apply" ]; then best_apply=$t; fi
  if [ -z "$peak" ] || [ "$p" -gt "$peak" ]; then peak=$p; fi

  rm -f "$work/copy.bin" && sync
  start=$(now)
  cp "$work/new/data.bin" "$work/copy.bin" && sync "$work/copy.bin"
  t=$(( $(now) - start ))
  if [ -z "$best_copy" ] || [ "$t" -lt "$best_copy" ]; then best_copy=$t; fi
done

budget=$(( (old + new) / 1024 + 16 * 1024 ))
awk -v p="$peak" -v b="$budget" -v a="$best_apply" -v c="$best_copy" 'BEGIN {
  printf "peak memory: %.1f MiB, budget old+new+16 MiB = %.1f MiB, ratio %.2f (at most 1)\n", p / 1024, b / 1024, p / b
  printf "wall time: apply %.3f s, copy+fsync %.3f s, ratio %.2f (at most 2)\n", a / 1e9, c / 1e9, a / c
}'
