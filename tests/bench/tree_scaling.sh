#!/usr/bin/env bash
# Build time of hotfix-pack on a tree of many small changed files, against bsdiff run once per
# changed file (the peer: the cheapest way to make one delta per file). The tree is synthetic
# and the same on every run: COUNT files of SIZE bytes in folders of 100, each new file its old
# one with a few bytes changed and a few inserted.
#   tests/bench/tree_scaling.sh BUILD_DIR [COUNT] [SIZE]   (uses BUILD_DIR/native/bin/hotfix-pack)
set -euo pipefail
build=${1:?usage: tree_scaling.sh BUILD_DIR [COUNT] [SIZE]}
count=${2:-3000}
size=${3:-4096}
pack="$build/native/bin/hotfix-pack"
[ -x "$pack" ] || { echo "tree_scaling: $pack is missing" >&2; exit 1; }
command -v bsdiff >/dev/null || { echo "tree_scaling: bsdiff is missing" >&2; exit 1; }
command -v perl >/dev/null || { echo "tree_scaling: perl is missing" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/tree-scaling.XXXXXX")
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/old" "$work/new"
# Bytes like a program's: 32-bit words from a small vocabulary (so they compress and match a
# little, as code does), from a fixed-seed generator of our own.
perl -e '
  use strict; my ($root, $count, $size) = @ARGV; my $seed = 12345;
  sub next_random { $seed = ($seed * 1103515245 + 12345) % 2147483648; return $seed >> 8; }
  my @vocabulary = map { pack("V", next_random() * 131 + next_random()) } 1 .. 512;
  for my $i (0 .. $count - 1) {
    my $dir = sprintf("d%03d", int($i / 100));
    mkdir "$root/old/$dir"; mkdir "$root/new/$dir";
    my $old = join("", map { $vocabulary[next_random() % 512] } 1 .. int($size / 4));
    my $new = $old;
    for (1 .. 3) { substr($new, next_random() % length($new), 4) = pack("V", next_random()); }
    substr($new, next_random() % length($new), 0) = pack("V", next_random()) x 2;
    for (["old", $old], ["new", $new]) {
      open(my $f, ">", sprintf("%s/%s/%s/f%05d.dll", $root, $_->[0], $dir, $i)) or die; binmode $f;
      print $f $_->[1]; close $f;
    }
  }' "$work" "$count" "$size"

now() { date +%s%N; }
t=$(now)
"$pack" --quiet --old "$work/old" --new "$work/new" --out "$work/tree.rtp"
ours=$(( $(now) - t ))
# The same tree with the match delta made for every file (it is skipped where it cannot be the
# smallest, which on this tree is everywhere): the slowest the builder gets per file.
t=$(now)
"$pack" --quiet --methods match,whole --old "$work/old" --new "$work/new" --out "$work/match.rtp"
slow=$(( $(now) - t ))
t=$(now)
(cd "$work/old" && for old in */*; do bsdiff "$old" "../new/$old" "$work/one.bsdiff"; done)
theirs=$(( $(now) - t ))
awk -v n="$count" -v size="$size" -v ours="$ours" -v slow="$slow" -v theirs="$theirs" -v cores="$(nproc)" \
    -v rtp="$(stat -c %s "$work/tree.rtp")" 'BEGIN {
  printf "tree of %d changed files of %d bytes (%.1f MB), %d cores\n", n, size, n * size / 1e6, cores
  printf "hotfix-pack:                 %8.2f s (%.2f ms a file), patch %d bytes\n", ours / 1e9, ours / 1e6 / n, rtp
  printf "  --methods match,whole:     %8.2f s (%.2f ms a file)\n", slow / 1e9, slow / 1e6 / n
  printf "bsdiff once per file:        %8.2f s (%.2f ms a file)\n", theirs / 1e9, theirs / 1e6 / n
  printf "ratio (hotfix-pack / bsdiff per file): %.2fx (target at most 5x); match delta made for every file: %.2fx\n",
         ours / theirs, slow / theirs
}'
