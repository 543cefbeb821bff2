#!/bin/sh
# The program starts without what only its later windows need: GMime (the
# sent-history module loads it) and Qt SVG (the icon is drawn at build time).
#   check_startup_libraries.sh <program>
set -u
found=$(ldd "$1" | grep -E 'libgmime|libQt6Svg')
[ -z "$found" ] || { echo "loaded at start: $found" >&2; exit 1; }
echo "none of GMime and Qt SVG loaded at start"
