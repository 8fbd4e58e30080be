#!/usr/bin/env bash
# Exits 0 when Wine can start Windows programs of the architecture given here:
#   scripts/wine-starts.sh x64|x86
# x64 programs run under Wine's 64-bit loader. Wine runs x86 programs in 32-bit Linux
# processes, and some kernels start none (no 32-bit system call layer). When it cannot, it
# says why on standard error and exits 1.
arch=${1:?usage: wine-starts.sh x64|x86}
case $arch in
  x64)
    if [ ! -x /usr/lib/wine/wine64 ]; then
      echo "Wine's 64-bit loader is not installed (/usr/lib/wine/wine64)" >&2
      exit 1
    fi ;;
  x86)
    if [ ! -x /usr/lib/wine/wine ]; then
      echo "Wine's 32-bit loader is not installed (/usr/lib/wine/wine)" >&2
      exit 1
    fi
    if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
      echo "this machine's kernel starts no 32-bit program (/lib/ld-linux.so.2 does not run)" >&2
      exit 1
    fi ;;
  *)
    echo "wine-starts.sh: no architecture '$arch' (x64 or x86)" >&2
    exit 2 ;;
esac
exit 0
