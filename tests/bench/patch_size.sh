#!/usr/bin/env bash
# Patch size: hotfix-pack's .RTP against `xdelta3 -e -9` (its default secondary compression),
# bsdiff and `zstd --patch-from -19`, on the same pairs:
#   synthetic  a 16 MiB file with scattered edits (bench_apply --make-pair)
#   program    two builds of a small C++ program whose sources differ in one line (g++ -O2)
#   static-program  the same two builds linked statically (about 2 MB each)
# Prints each size and the ratio ours/peer (below 1: ours is smaller).
#   tests/bench/patch_size.sh BUILD_DIR   (uses BUILD_DIR/native/bin/{hotfix-pack,bench_apply})
set -euo pipefail
build=${1:?usage: patch_size.sh BUILD_DIR}
bin="$build/native/bin"
for tool in hotfix-pack bench_apply; do
  [ -x "$bin/$tool" ] || { echo "patch_size: $bin/$tool is missing (build the native configuration)" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/patch-size-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/synthetic/old" "$work/synthetic/new" "$work/program/old" "$work/program/new" \
         "$work/static-program/old" "$work/static-program/new"
"$bin/bench_apply" --make-pair "${PATCH_SIZE_BENCH_MIB:-16}" "$work/synthetic/old/data.bin" "$work/synthetic/new/data.bin"

cat > "$work/program.cpp" <<'CPP'
#include <cstdio>
#include <map>
#include <string>
#include <vector>
static const char* kBanner = "BANNER";
struct Item { std::string name; int count; };
int main(int argc, char** argv) {
    std::map<std::string, std::vector<Item>> groups;
    for (int i = 1; i < argc; ++i) groups[argv[i]].push_back({argv[i], i});
    for (const auto& [key, items] : groups)
        for (const Item& item : items) std::printf("%s %s %d\n", kBanner, item.name.c_str(), item.count);
    return static_cast<int>(groups.size());
}
CPP
sed 's/BANNER/release 7.22.24188/' "$work/program.cpp" > "$work/old.cpp"
sed 's/BANNER/release 7.22.24209, fixed/' "$work/program.cpp" > "$work/new.cpp"
g++ -O2 -o "$work/program/old/app" "$work/old.cpp"
g++ -O2 -o "$work/program/new/app" "$work/new.cpp"
g++ -O2 -static -o "$work/static-program/old/app" "$work/old.cpp"
g++ -O2 -static -o "$work/static-program/new/app" "$work/new.cpp"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

for pair in synthetic program static-program; do
  dir="$work/$pair"
  old=$(find "$dir/old" -type f | head -1)
  new=$(find "$dir/new" -type f | head -1)
  report=$("$bin/hotfix-pack" --old "$dir/old" --new "$dir/new" --out "$dir/patch.rtp")
  payload=$(grep -o '(\([0-9]*\) bytes)' <<<"$report" | head -1 | tr -dc 0-9)
  xdelta3 -e -9 -f -s "$old" "$new" "$dir/xdelta"
  ours=$(stat -c %s "$dir/patch.rtp")
  xd=$(stat -c %s "$dir/xdelta")
  echo "$pair: $(stat -c %s "$old") -> $(stat -c %s "$new") bytes"
  echo "  hotfix-pack .RTP        $ours bytes (deflated delta $payload bytes, ratio to xdelta3 $(ratio "$payload" "$(stat -c %s "$dir/xdelta")"); the rest is header, hashes and entry)"
  echo "  xdelta3 -e -9           $xd bytes   ratio ours/xdelta3 $(ratio "$ours" "$xd")"
  if command -v bsdiff >/dev/null; then
    bsdiff "$old" "$new" "$dir/bsdiff"
    bs=$(stat -c %s "$dir/bsdiff")
    echo "  bsdiff                  $bs bytes   ratio ours/bsdiff $(ratio "$ours" "$bs")"
  fi
  if command -v zstd >/dev/null; then
    zstd -q -f -19 --long=27 --patch-from="$old" "$new" -o "$dir/zstd" 2>/dev/null
    zs=$(stat -c %s "$dir/zstd")
    echo "  zstd --patch-from -19   $zs bytes   ratio ours/zstd $(ratio "$ours" "$zs")"
  fi
done
