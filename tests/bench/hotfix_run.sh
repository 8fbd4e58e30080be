#!/usr/bin/env bash
# One complete hotfix run under Wine, timed phase by phase, against the floor the design imposes.
#
# In a fresh Wine prefix it lays out Tarnovex 7.22.24188.12, runs the installer once with /log
# (its one message box answered OK by the UI driver), and splits the time from the installer's
# start to its box on screen into phases by the log's millisecond time stamps: start-up,
# discovery, running test, extraction, each engine run, clean-up, final check and box.
#
# The floor: the installer's own process start-up, then for each engine run the engine's
# process start-up rounded up to the runner's 250 ms polling cycle (the runner looks at the
# child only after each full cycle, so every engine run costs at least one). Start-ups are those
# of a program that does nothing, measured in the same prefix in the same run: started from a
# console program for the installer, and from a program without a console for the engines
# (which then get a console of their own, as they do under the windowed installer).
#
#   tests/bench/hotfix_run.sh BUILD_DIR    (uses the x64 build: BUILD_DIR/win64/bin and BUILD_DIR/win64/samples)
#
# A benchmark: it prints its figures and never fails on a number, only when the run cannot be made.
set -euo pipefail
build=${1:?usage: hotfix_run.sh BUILD_DIR}
bin=$build/win64/bin
installer=HotFix_2_KTV410-KTV430-KTV520__v7_22_Setup.exe
base=7.22.24188.12
target=7.22.24245.10
sample=$build/win64/samples/Tarnovex/$base
for file in "$installer" hotfix-uidriver.exe hotfix-startup-timer.exe hotfix-noop.exe; do
  [ -f "$bin/$file" ] || { echo "hotfix_run: $bin/$file is missing (build the Windows configuration)" >&2; exit 1; }
done
[ -f "$sample/Tarnovex.exe" ] || { echo "hotfix_run: $sample holds no sample product" >&2; exit 1; }

root=$(cd "$(dirname "$0")/../.." && pwd)
if ! why=$("$root/scripts/wine-starts.sh" x64 2>&1); then
  echo "hotfix_run: not run: $why"
  exit 0
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/hotfix-run-bench.XXXXXX")
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
"$root/scripts/wine-prefix.sh" "$WINEPREFIX" >/dev/null
wine() { "$root/scripts/wine.sh" x64 "$@" | tr -d '\r'; }

drive=$WINEPREFIX/drive_c
appdir_win='C:\Program Files\Veltrix\Tarnovex 2'
appdir=$drive/Program\ Files/Veltrix/Tarnovex\ 2
mkdir -p "$appdir"
cp "$sample"/* "$appdir/"
cp "$bin"/{"$installer",hotfix-uidriver.exe,hotfix_uiprobe.dll,hotfix-startup-timer.exe,hotfix-noop.exe} "$drive/"
wine 'C:\hotfix-uidriver.exe' register "$appdir_win\\Tarnovex.exe /dde"

# Start-ups of a program that does nothing: before and after the run, to even out the noise.
startups() { wine 'C:\hotfix-startup-timer.exe' "$@" 'C:\hotfix-noop.exe' | awk '/^startup ms:/ { print $6 }'; }
console_before=$(startups 15)
detached_before=$(startups --detach 15)

driver=$(wine 'C:\hotfix-uidriver.exe' run --clock --answer ok --timeout 60 -- "C:\\$installer" /log 'C:\hotfix-run.log')
log=$(tr -d '\r' <"$drive/hotfix-run.log")

console_after=$(startups 15)
detached_after=$(startups --detach 15)

grep -q '^seen at:' <<<"$driver" || { echo "hotfix_run: no message box appeared"; echo "$driver"; exit 1; }
version_after=$(wine 'C:\hotfix-uidriver.exe' version "$appdir_win\\Tarnovex.exe")
if diff -r "$appdir" "$build/win64/samples/Tarnovex/$target" >/dev/null; then
  directory="exactly Tarnovex $target"
else
  directory="NOT Tarnovex $target"
fi

echo "one hotfix run under Wine: Tarnovex $base, $(grep -m1 '^text:' <<<"$driver" | sed 's/^text: //')"
echo "  version after: $version_after; application directory: $directory"
awk -v console="$console_before $console_after" -v detached="$detached_before $detached_after" '
  function ms(date, clock,   d, t) {
    split(date, d, "-")
    split(clock, t, ":")
    return (((d[3] * 24 + t[1]) * 60 + t[2]) * 60 + t[3]) * 1000
  }
  function mean(list,   n, v, i, s) {
    n = split(list, v, " ")
    for (i = 1; i <= n; ++i) s += v[i]
    return n ? s / n : 0
  }
  function add(phase, amount) {
    if (!(phase in spent)) order[++phases] = phase
    spent[phase] += amount
  }
  FNR == 1 { ++file }
  # The UI driver: when the installer was started, when its box was seen, when it ended.
  file == 1 && /^started at: / { started = ms($3, $4) }
  file == 1 && /^seen at: / && !seen { seen = ms($3, $4) }
  file == 1 && /^ended at: / { ended = ms($3, $4) }
  # The log: each line closes the interval since the line before it.
  file == 2 && $1 ~ /^[0-9]+-[0-9]+-[0-9]+$/ && !done {
    now = ms($1, $2)
    if (!logged) { add("installer start-up", now - started); last = now; logged = 1; next }
    text = $0
    sub(/^[^ ]+ [^ ]+ /, "", text)
    if (text ~ /^    \|/) next
    if (text ~ /^(Mode|Run |Found|Product|Version label:)/) phase = "discovery"
    else if (text ~ /^Running test/) phase = "running test"
    else if (text ~ /^(Patching|Written|Not written)/) phase = "extraction"
    else if (text ~ /^Engine run/) {
      name = text
      sub(/ -> .*/, "", name)
      sub(/.* /, "", name)
      phase = sprintf("engine run %d (%s)", ++engines, name)
    }
    else phase = "clean-up"
    add(phase, now - last)
    last = now
    if (text ~ /^Patch sequence result/) done = 1
  }
  END {
    add("final check and box", seen - last)
    total = seen - started
    printf "  %-48s %7s\n", "phase", "ms"
    for (i = 1; i <= phases; ++i) printf "  %-48s %7d\n", order[i], spent[order[i]]
    printf "  %-48s %7d\n", "total, start to box on screen", total
    printf "  %-48s %7d\n", "(after the box: answer and exit)", ended - seen

    installerStart = mean(console)
    engineStart = mean(detached)
    cycles = int(engineStart / 250) + 1
    floor = installerStart + engines * cycles * 250
    printf "floor: installer start-up %.1f ms + %d engine run(s) x %d cycle(s) of 250 ms (engine start-up %.1f ms) = %.0f ms\n", \
      installerStart, engines, cycles, engineStart, floor
    printf "ratio total / floor: %.2f\n", total / floor
    engineTime = 0
    for (i = 1; i <= phases; ++i) if (order[i] ~ /^engine run/) engineTime += spent[order[i]]
    own = total - spent["installer start-up"] - engineTime
    printf "installer'"'"'s own work (all but start-up and engine runs): %d ms = %.1f%% of the total\n", own, 100 * own / total
    printf "engine runs above their floor: %d ms over %d run(s)\n", engineTime - engines * cycles * 250, engines
  }' <(echo "$driver") <(echo "$log")
