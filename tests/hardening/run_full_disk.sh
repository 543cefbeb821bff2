#!/usr/bin/env bash
# Runs a test binary with TALVENOR_FULL_DISK_DIR on a 64 KiB tmpfs of its own,
# in a private mount namespace so nothing outside sees it.
set -euo pipefail
test_binary=$1
exec unshare --mount bash -c '
  dir=$(mktemp -d)
  mount -t tmpfs -o size=64k tmpfs "$dir"
  TALVENOR_FULL_DISK_DIR="$dir" "$0" fullDiskKeepsOldFile
' "$test_binary"
