#!/usr/bin/env bash
# Runs every benchmark (tests/bench/*.sh), each printing its figures and its ratio against a
# peer measured in the same run. Benchmarks are not tests: they never fail on a number.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
for bench in "$root"/tests/bench/*.sh; do
  [ -e "$bench" ] || continue
  echo "== $(basename "$bench" .sh)"
  bash "$bench" "$root/$build" || echo "(benchmark $(basename "$bench" .sh) could not run)"
done
