#!/bin/sh
# Installs the build into a prefix of its own and validates the menu entry
# and the AppStream data there, as a distribution would.
#   check_desktop_files.sh <cmake> <build folder> <application id>
set -eu
cmake=$1 build=$2 id=$3
prefix=$(mktemp -d /tmp/talvenor-install.XXXXXX)
trap 'rm -rf "$prefix"' EXIT

"$cmake" --install "$build" --prefix "$prefix" > "$prefix.log" 2>&1 || { cat "$prefix.log" >&2; rm -f "$prefix.log"; exit 1; }
rm -f "$prefix.log"

desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net --explain "$prefix/share/metainfo/$id.metainfo.xml"
# The entry starts the installed program and shows the installed icon.
grep -qx "Exec=talvenor" "$prefix/share/applications/$id.desktop"
grep -qx "Icon=$id" "$prefix/share/applications/$id.desktop"
test -x "$prefix/bin/talvenor"
test -s "$prefix/share/icons/hicolor/scalable/apps/$id.svg"
# The release the software centre shows is the program's version.
version=$(sed -n 's/.*kText\[\] = "\(.*\)";/\1/p' "$build/src/version/include/talvenor_version.h")
grep -q "<release version=\"$version\"" "$prefix/share/metainfo/$id.metainfo.xml"
echo "desktop entry and AppStream data valid (version $version)"
