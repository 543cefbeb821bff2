#!/bin/sh
# The program starts without what only its later windows need: GMime (the
# sent-history module loads it).
#   check_startup_libraries.sh <program>
set -u
found=$(ldd "$1" | grep -E 'libgmime')
[ -z "$found" ] || { echo "loaded at start: $found" >&2; exit 1; }
echo "GMime not loaded at start"
