# Sourced by the scripts that build a library from a Debian source package
# (build-liblzma-mingw.sh, build-libxdelta3.sh); not run on its own.
#
#   fetch_debian_source PACKAGE OUT_DIR TAG   -> prints the unpacked source tree's path
#
# The source comes through apt with a private state under OUT_DIR/apt (its own lists, cache and
# sources list). The sources list is derived from the machine's own Debian sources
# (/etc/apt/sources.list.d/*.sources, or one-line /etc/apt/sources.list entries): the same URIs,
# suites, components and Signed-By keyring, as deb-src. So no mirror is named anywhere and no
# system file changes; apt checks the signature of the index it downloads and the hashes of the
# source. Output of the steps goes to OUT_DIR/build.log; a failed step stops the caller with the
# log's tail on stderr, prefixed with TAG.

# run TAG LOG COMMAND...: runs COMMAND with its output in LOG; on failure, says so and exits.
run_logged() {
  local tag=$1 log=$2
  shift 2
  if ! "$@" >>"$log" 2>&1; then
    echo "$tag: failed: $*" >&2
    tail -n 40 "$log" >&2
    exit 1
  fi
}

fetch_debian_source() {
  local package=$1 out=$2 tag=$3
  local apt="$out/apt" log="$out/build.log" src="$out/src"
  command -v apt-get >/dev/null || { echo "$tag: apt-get is missing: the source comes from Debian's $package source package" >&2; exit 1; }
  command -v dpkg-source >/dev/null || { echo "$tag: dpkg-source is missing (Debian package dpkg-dev)" >&2; exit 1; }
  rm -rf "$apt"
  mkdir -p "$apt/state/lists/partial" "$apt/cache/archives/partial" "$apt/etc/sources.list.d" "$apt/etc/preferences.d"
  : >"$apt/etc/sources.list"
  # deb822 stanzas become deb-src stanzas; every other field (URIs, Suites, Components,
  # Signed-By) is kept as it is.
  local sources list
  for sources in /etc/apt/sources.list.d/*.sources; do
    [ -e "$sources" ] || continue
    awk '
      /^[Tt]ypes:/ { if ($0 ~ /[ \t]deb([ \t]|$)/) print "Types: deb-src"; else print; next }
      { print }
    ' "$sources" >"$apt/etc/sources.list.d/$(basename "$sources")"
  done
  # One-line entries: "deb [options] URI suite components" becomes "deb-src ...".
  for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -e "$list" ] || continue
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$list" >>"$apt/etc/sources.list"
  done
  if ! grep -qs 'deb-src' "$apt/etc/sources.list" "$apt"/etc/sources.list.d/*; then
    echo "$tag: no Debian package source found in /etc/apt/sources.list.d/*.sources or /etc/apt/sources.list" >&2
    exit 1
  fi
  local apt_options=(
    -o "Dir::State=$apt/state"
    -o "Dir::State::Lists=$apt/state/lists"
    -o "Dir::Cache=$apt/cache"
    -o "Dir::Etc::sourcelist=$apt/etc/sources.list"
    -o "Dir::Etc::sourceparts=$apt/etc/sources.list.d"
    -o "Dir::Etc::preferencesparts=$apt/etc/preferences.d"
    -o "APT::Sandbox::User=root"
  )
  echo "$tag: fetching Debian's $package source package (private apt state in $apt)" >&2
  run_logged "$tag" "$log" apt-get "${apt_options[@]}" -q update
  rm -rf "$src"
  mkdir -p "$src"
  (cd "$src" && run_logged "$tag" "$log" apt-get "${apt_options[@]}" -q source "$package")
  local tree
  tree=$(find "$src" -mindepth 1 -maxdepth 1 -type d -name "$package-*" | head -n 1)
  if [ -z "$tree" ] || [ ! -d "$tree" ]; then
    echo "$tag: apt-get source $package left no source tree in $src" >&2
    exit 1
  fi
  echo "$tree"
}
