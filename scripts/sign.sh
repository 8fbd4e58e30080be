#!/usr/bin/env bash
# Signs Windows executables with Authenticode (SHA-256) from a PKCS#12 certificate.
#
#   SIGN_PFX=cert.pfx SIGN_PASS=... scripts/sign.sh FILE...
#       signs each FILE in place (a file signed before gets the new signature instead).
#   SIGN_PFX=cert.pfx SIGN_PASS=... scripts/sign.sh --build BUILD
#       for each architecture's build (BUILD/win: x86, BUILD/win64: x64), signs the patch
#       engine pair in its bin/, builds the installer again so that it carries the signed pair,
#       then signs the installer (its name and description from the hotfix's definition,
#       hotfix-definition.sh in that build).
#
# The password is handed to osslsigncode on its standard input, never on a command line where
# other users could read it. Optional: SIGN_TIMESTAMP_URL (an RFC 3161 time-stamping server;
# without it the signature is valid only as long as the certificate), SIGN_DESCRIPTION,
# SIGN_URL. Any failure stops the script with a non-zero status and leaves the file unsigned
# as it was.
set -euo pipefail

die() { echo "sign: $*" >&2; exit 1; }

: "${SIGN_PFX:?SIGN_PFX must name the PKCS#12 certificate file}"
[ -r "$SIGN_PFX" ] || die "cannot read certificate $SIGN_PFX"
command -v osslsigncode >/dev/null || die "osslsigncode is missing (scripts/setup.sh installs it)"

sign_file() {
  local file=$1 tmp
  [ -f "$file" ] || die "no such file: $file"
  tmp=$(mktemp "$file.signing.XXXXXX")
  local args=(sign -pkcs12 "$SIGN_PFX" -readpass - -h sha256)
  [ -n "${SIGN_DESCRIPTION:-}" ] && args+=(-n "$SIGN_DESCRIPTION")
  [ -n "${SIGN_URL:-}" ] && args+=(-i "$SIGN_URL")
  [ -n "${SIGN_TIMESTAMP_URL:-}" ] && args+=(-ts "$SIGN_TIMESTAMP_URL")
  # osslsigncode refuses to overwrite its output: start from a name that does not exist.
  rm -f "$tmp"
  if ! printf '%s' "${SIGN_PASS:-}" | osslsigncode "${args[@]}" -in "$file" -out "$tmp" >/dev/null; then
    rm -f "$tmp"
    die "signing $file failed"
  fi
  chmod --reference="$file" "$tmp"
  mv -f "$tmp" "$file"
  echo "sign: signed $file"
}

# Signs one Windows build's engine pair, builds its installer again so that it carries the
# signed pair, then signs the installer.
sign_build() {
  local win=$1 bin=$1/bin installer
  [ -f "$win/hotfix-definition.sh" ] || die "no hotfix definition in $win: build it first"
  . "$win/hotfix-definition.sh"
  installer=$hotfix_installer
  SIGN_DESCRIPTION=${SIGN_DESCRIPTION:-$hotfix_description}
  [ -f "$bin/$installer" ] || die "no installer in $bin: build it first"
  if [ -f "$bin/patch.exe" ] && [ -f "$bin/Patchw32.dll" ]; then
    sign_file "$bin/patch.exe"
    sign_file "$bin/Patchw32.dll"
    # The installer carries the engine pair in its resources: compile them again from the
    # signed files, and link again.
    find "$win" -path '*hotfix_installer.dir*' -name '*.rc.obj' -delete
    cmake --build "$win" --target hotfix_installer >/dev/null
  fi
  sign_file "$bin/$installer"
}

if [ "${1:-}" = "--build" ]; then
  build=${2:?usage: sign.sh --build BUILD}
  # x86 (BUILD/win) and x64 (BUILD/win64).
  [ -d "$build/win" ] || die "no Windows build in $build/win: build it first"
  for win in "$build/win" "$build/win64"; do
    [ ! -d "$win" ] || (sign_build "$win")
  done
  exit 0
fi

[ $# -gt 0 ] || die "usage: sign.sh FILE... | sign.sh --build BUILD"
for file in "$@"; do sign_file "$file"; done
