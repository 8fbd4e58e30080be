#!/usr/bin/env bash
# Exits 0 when Wine can start the 32-bit installer and engine here. Wine runs them in 32-bit
# Linux processes, and some virtual machines' kernels start none (no 32-bit system call layer):
# then it says why on standard error and exits 1.
if ! command -v wine >/dev/null; then
  echo "Wine is not installed" >&2
  exit 1
fi
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo "this machine's kernel starts no 32-bit program (/lib/ld-linux.so.2 does not run)" >&2
  exit 1
fi
exit 0
