#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz/*_fuzz.cpp) with clang into BUILD_DIR/fuzz and runs
# each one: "smoke" for about 20 seconds each (the continuous-integration run), "long" for ten
# minutes each (by hand). Seeds come from tests/fuzz/corpus/<name>/ (the fuzzer's name without
# "_fuzz"); what a run discovers is kept in BUILD_DIR/fuzz/corpus/<fuzzer>/ for the next run.
# Exits non-zero when a fuzzer finds a crash; the input that caused it is left in
# BUILD_DIR/fuzz/artifacts/.
set -euo pipefail

usage() { echo "usage: $0 BUILD_DIR [smoke|long]" >&2; exit 2; }
[ $# -ge 1 ] || usage
build=$1
mode=${2:-smoke}
case "$mode" in
  smoke) seconds=20 ;;
  long)  seconds=600 ;;
  *) usage ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$build"
build=$(cd "$build" && pwd)
dir="$build/fuzz"

fuzzers=()
for source in "$root"/tests/fuzz/*_fuzz.cpp; do
  [ -e "$source" ] || continue
  fuzzers+=("$(basename "$source" .cpp)")
done
if [ ${#fuzzers[@]} -eq 0 ]; then
  echo "no fuzzers in tests/fuzz"
  exit 0
fi

CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHOTFIX_FUZZ=ON >/dev/null
cmake --build "$dir" -j 2 --target "${fuzzers[@]}" >/dev/null

status=0
mkdir -p "$dir/artifacts"
for fuzzer in "${fuzzers[@]}"; do
  corpus="$dir/corpus/$fuzzer"
  mkdir -p "$corpus"
  seeds=()
  if [ -d "$root/tests/fuzz/corpus/${fuzzer%_fuzz}" ]; then
    seeds+=("$root/tests/fuzz/corpus/${fuzzer%_fuzz}")
  fi
  log="$dir/$fuzzer.log"
  echo "-- $fuzzer: $seconds s"
  if "$dir/bin/$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$dir/artifacts/$fuzzer-" -print_final_stats=1 \
       "$corpus" "${seeds[@]}" >"$log" 2>&1; then
    grep -E "stat::number_of_executed_units|Done [0-9]+ runs" "$log" | tail -n 1 || true
  else
    status=1
    echo "!! $fuzzer found a failure (log: $log, input in $dir/artifacts/):"
    grep -E "ERROR|SUMMARY|Test unit written" "$log" | head -n 20 || tail -n 40 "$log"
  fi
done
exit $status
