#!/usr/bin/env bash
# Installs, from Debian's packages, everything the build, the tests and the demo need.
# Idempotent: packages already present are skipped, and apt is not touched at all
# when nothing is missing.
set -euo pipefail

packages=(
  build-essential cmake make git pkg-config
  mingw-w64 binutils-mingw-w64-i686
  wine wine64 wine32:i386
  googletest libgtest-dev
  zlib1g-dev libz-mingw-w64-dev libssl-dev liblzma-dev libdivsufsort-dev dpkg-dev
  xdelta3 bsdiff zstd
  clang libclang-rt-14-dev
  xvfb x11-apps netpbm
  osslsigncode openssl
  locales
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done

# The Wine tests run some programs with the Japanese ANSI code page (932), which needs the
# ja_JP.UTF-8 locale on the Linux side.
ensure_japanese_locale() {
  if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    echo "setup: generating the ja_JP.UTF-8 locale"
    localedef -i ja_JP -f UTF-8 ja_JP.UTF-8 || echo "setup: ja_JP.UTF-8 could not be generated; code page 932 tests will be skipped" >&2
  fi
}

if [ ${#missing[@]} -eq 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then ensure_japanese_locale; fi
  echo "setup: all packages present"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: missing ${missing[*]}; run as root to install them" >&2
  exit 1
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
ensure_japanese_locale
echo "setup: done"
