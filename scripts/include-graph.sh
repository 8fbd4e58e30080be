#!/usr/bin/env bash
# Prints the folder-to-folder include graph of the sources: one line per (from, to) pair with the
# number of `#include "to/..."` lines in the files of folder `from` (tests/ and build/ excluded).
# A folder is the file's directory; an include names its target folder by its path up to the file.
#   scripts/include-graph.sh [root]      e.g.  app  discovery  3
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"
find . \( -path ./build -o -path './build-*' -o -path ./tests -o -path ./dist -o -path ./.git \) -prune \
    -o \( -name '*.cpp' -o -name '*.h' \) -print |
  sed 's|^\./||' | sort |
  while read -r file; do
    from=$(dirname "$file")
    grep -oE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^"]+/[^"]+"' "$file" |
      sed -E 's/.*"(.*)\/[^/]+"/\1/' |
      while read -r to; do [ "$to" != "$from" ] && printf '%s\t%s\n' "$from" "$to"; done || true
  done |
  sort | uniq -c | awk 'BEGIN { printf "%-18s %-18s %s\n", "from", "to", "count" }
                        { printf "%-18s %-18s %s\n", $2, $3, $1 }'
