#!/usr/bin/env bash
# Gathers what the builds made into dist/:
#   dist/<installer>.exe                             the installer for x86 (HotFix 2:
#                                                    HotFix_2_KTV410-KTV430-KTV520__v7_22_Setup.exe)
#   dist/engine/patch.exe, dist/engine/Patchw32.dll  the patch engine it carries
#   dist/debug/<file>.debug                          debug information of the stripped files
#   dist/x64/...                                     the same three for x64
#   dist/samples/<Product>/<file version>/           the sample product (x86)
#   dist/bin/hotfix-pack                             the patch builder
set -euo pipefail
build=${1:-build}
dist=${2:-dist}

# One architecture's installer, engine and debug information, from its Windows build.
gather() { # WINDOWS_BUILD DESTINATION
  local win=$1 out=$2
  # The installer's name, from the hotfix's definition (written by the build).
  . "$win/hotfix-definition.sh"
  mkdir -p "$out"
  cp "$win/bin/$hotfix_installer" "$out/$hotfix_installer"
  if [ -f "$win/bin/patch.exe" ]; then
    mkdir -p "$out/engine"
    cp "$win/bin/patch.exe" "$win/bin/Patchw32.dll" "$out/engine/"
  fi
  # The shipped files are stripped; their debug information stays here for the vendor.
  if [ -d "$win/debug" ]; then
    rm -rf "$out/debug"
    mkdir -p "$out/debug"
    cp "$win/debug"/*.debug "$out/debug/"
  fi
}

gather "$build/win" "$dist"
gather "$build/win64" "$dist/x64"
if [ -d "$build/win/samples" ]; then
  rm -rf "$dist/samples"
  cp -r "$build/win/samples" "$dist/samples"
fi
if [ -f "$build/native/bin/hotfix-pack" ]; then
  mkdir -p "$dist/bin"
  cp "$build/native/bin/hotfix-pack" "$dist/bin/"
fi
echo "dist: $(cd "$dist" && find . -maxdepth 2 | sort | tr '\n' ' ')"
