#!/usr/bin/env bash
# Gathers what the builds made into dist/:
#   dist/<installer>.exe                             the installer (HotFix 2:
#                                                    HotFix_2_KTV410-KTV430-KTV520__v7_22_Setup.exe)
#   dist/samples/<Product>/<file version>/           the sample product
#   dist/engine/patch.exe, dist/engine/Patchw32.dll  the patch engine
#   dist/bin/hotfix-pack                             the patch builder
#   dist/debug/<file>.debug                          debug information of the stripped Windows files
set -euo pipefail
build=${1:-build}
dist=${2:-dist}
# The installer's name, from the hotfix's definition (written by the build).
. "$build/win/hotfix-definition.sh"
installer=$hotfix_installer

mkdir -p "$dist"
cp "$build/win/bin/$installer" "$dist/$installer"

if [ -d "$build/win/samples" ]; then
  rm -rf "$dist/samples"
  cp -r "$build/win/samples" "$dist/samples"
fi
if [ -f "$build/win/bin/patch.exe" ]; then
  mkdir -p "$dist/engine"
  cp "$build/win/bin/patch.exe" "$build/win/bin/Patchw32.dll" "$dist/engine/"
fi
# The shipped files are stripped; their debug information stays here for the vendor.
if [ -d "$build/win/debug" ]; then
  rm -rf "$dist/debug"
  mkdir -p "$dist/debug"
  cp "$build/win/debug"/*.debug "$dist/debug/"
fi
if [ -f "$build/native/bin/hotfix-pack" ]; then
  mkdir -p "$dist/bin"
  cp "$build/native/bin/hotfix-pack" "$dist/bin/"
fi
echo "dist: $(cd "$dist" && find . -maxdepth 2 | sort | tr '\n' ' ')"
