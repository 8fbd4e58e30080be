#!/usr/bin/env bash
# The download: the hotfix installer's bytes by part, read from the executable itself. Its own
# code and data are its sections but .rsrc; the engine library, patch.exe and the patch files
# are its "PATCH" resources; the rest is headers, alignment, the resource directory, the
# manifest, the icon and the version block. Then each patch file (the sample product's patches)
# by size, and the engine pair as it ships against the 768 KB the installer may weigh.
#   tests/bench/installer_size.sh BUILD_DIR   (uses BUILD_DIR/win/bin and BUILD_DIR/win/hotfix-definition.sh)
set -euo pipefail
build=${1:?usage: installer_size.sh BUILD_DIR}
[ -f "$build/win/hotfix-definition.sh" ] || { echo "installer_size: no Windows build in $build/win" >&2; exit 1; }
. "$build/win/hotfix-definition.sh"
exe="$build/win/bin/$hotfix_installer"
[ -f "$exe" ] || { echo "installer_size: $exe is missing" >&2; exit 1; }
objdump=i686-w64-mingw32-objdump
command -v "$objdump" >/dev/null || { echo "installer_size: $objdump is missing" >&2; exit 1; }

total=$(stat -c %s "$exe")
# objdump prints sizes in hexadecimal; mawk has no strtonum.
hex='function hex(h,   v, i) { h = tolower(h); sub(/^0x/, "", h); for (i = 1; i <= length(h); ++i) v = v * 16 + index("0123456789abcdef", substr(h, i, 1)) - 1; return v }'
# Sections with contents in the file: name and size in bytes (the flags follow on the next line).
sections=$("$objdump" -h "$exe" | awk "$hex"'
  $1 ~ /^[0-9]+$/ && NF >= 7 { name = $2; size = hex($3); next }
  name != "" && /CONTENTS/ { printf "%s %d\n", name, size }
  { name = "" }')
# Resources: the leaves of the resource directory, each under its type and its name.
resources=$("$objdump" -p "$exe" | awk "$hex"'
  # The depth of an entry (type, name, language) is its indentation.
  /Entry: / {
    depth = index($0, "Entry:")
    if (!top) top = depth
    label = $0
    if (label ~ /name: /) { sub(/.*name: \[[^]]*\]: /, "", label); sub(/, Value:.*/, "", label) }
    else { sub(/.*ID: /, "", label); sub(/,.*/, "", label) }
    if (depth == top) type = label
    else if (depth == top + 2) name = label
  }
  /Leaf: / { size = $0; sub(/.*Size: /, "", size); sub(/,.*/, "", size); printf "%s %s %d\n", type, name, hex(size) }')

own=$(awk '$1 != ".rsrc" { s += $2 } END { print s + 0 }' <<<"$sections")
own_detail=$(awk '$1 != ".rsrc" && $2 > 0 { printf "%s%s %d", sep, $1, $2; sep = ", " }' <<<"$sections")
resource() { awk -v n="$1" '$1 == "PATCH" && toupper($2) == n { s += $3 } END { print s + 0 }' <<<"$resources"; }
library=$(resource PATCHW32.DLL)
front_end=$(resource PATCH.EXE)
patches=$(awk '$1 == "PATCH" && $2 != "PATCH.EXE" && $2 != "PATCHW32.DLL" { s += $3; ++n } END { printf "%d %d", s, n }' <<<"$resources")
patch_bytes=${patches% *}
patch_count=${patches#* }
rest=$(( total - own - library - front_end - patch_bytes ))

part() { awk -v name="$1" -v b="$2" -v t="$total" -v more="${3:-}" \
  'BEGIN { printf "  %-34s %9d B %7.1f KB %5.1f%%  %s\n", name, b, b / 1024, 100 * b / t, more }'; }
echo "installer $hotfix_installer: $total bytes ($(awk -v t="$total" 'BEGIN { printf "%.1f KB, %.2f of the 768 KB target", t / 1024, t / (768 * 1024) }'))"
part "its own code and data" "$own" "($own_detail)"
part "engine library (Patchw32.dll)" "$library"
part "patch.exe" "$front_end"
part "patch files ($patch_count)" "$patch_bytes"
part "the rest (headers, resources)" "$rest"
echo "patch files (the sample product's patches):"
awk '$1 == "PATCH" && $2 != "PATCH.EXE" && $2 != "PATCHW32.DLL" { printf "  %-34s %9d B\n", $2, $3 }' <<<"$resources"
if [ -d "$build/win/debug" ]; then
  echo "debug files kept aside ($build/win/debug):"
  for file in "$build/win/debug"/*.debug; do
    [ -e "$file" ] && printf '  %-50s %9d B\n' "$(basename "$file")" "$(stat -c %s "$file")"
  done
fi
