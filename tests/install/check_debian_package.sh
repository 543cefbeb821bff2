#!/bin/sh
# Builds the Debian package from the build folder (cpack -G DEB), checks
# its fields and files, unpacks it and starts the unpacked program for a
# new user: it must make that user's settings from the shipped default.
#   check_debian_package.sh <build folder> <application id>
set -eu
build=$1 id=$2
work=$(mktemp -d /tmp/talvenor-deb.XXXXXX)
pid=
cleanup() {
  [ -z "$pid" ] || { kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT

(cd "$build" && cpack -G DEB -B "$work/out") > "$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; exit 1; }
deb=$(ls "$work"/out/talvenor_*.deb)

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = talvenor ]
[ "$(field Section)" = mail ]
field Maintainer | grep -q .
field Description | grep -q .
# Depends as dpkg-shlibdeps found them: Qt's libraries among them.
field Depends | tr ',' '\n' | grep -q '^ *libqt6widgets6 '
field Depends | tr ',' '\n' | grep -q '^ *libc6 '

dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' > "$work/files"
for file in /usr/bin/talvenor /usr/bin/talvenor-send /usr/lib/talvenor/talvenor_keyring.so \
    /usr/lib/talvenor/talvenor_history.so \
    /usr/share/talvenor/Data.ini \
    "/usr/share/applications/$id.desktop" "/usr/share/icons/hicolor/scalable/apps/$id.svg" \
    "/usr/share/metainfo/$id.metainfo.xml" /usr/share/man/man1/talvenor.1.gz \
    /usr/share/man/man1/talvenor-send.1.gz /usr/share/doc/talvenor/copyright \
    /usr/share/doc/talvenor/changelog.gz; do
  grep -qx "$file" "$work/files" || { echo "missing from the package: $file" >&2; cat "$work/files" >&2; exit 1; }
done

# Debian's own checks find no error (warnings are told, not failed).
lintian --no-tag-display-limit "$deb" > "$work/lintian.log" 2>&1 || true
cat "$work/lintian.log" >&2
if grep -q '^E: ' "$work/lintian.log"; then echo "lintian found errors" >&2; exit 1; fi

dpkg-deb -x "$deb" "$work/root"
mkdir "$work/home"
env -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME="$work/home" QT_QPA_PLATFORM=offscreen \
  "$work/root/usr/bin/talvenor" &
pid=$!
settings="$work/home/.config/talvenor/Data.ini"
while [ ! -e "$settings" ]; do
  kill -0 "$pid" 2>/dev/null || { echo "the unpacked program ended without making $settings" >&2; exit 1; }
  sleep 0.1
done
cmp "$settings" "$work/root/usr/share/talvenor/Data.ini"
[ "$(stat -c %a "$settings")" = 600 ]
echo "package $(basename "$deb"): fields, files and the unpacked program as expected"
