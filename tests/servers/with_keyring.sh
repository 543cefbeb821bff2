#!/bin/sh
# Runs a program with a desktop keyring of its own: a private D-Bus session
# bus and gnome-keyring-daemon's Secret Service on it, with a "login"
# keyring made and unlocked for the run under a throwaway home folder.
#
#   tests/servers/with_keyring.sh <program> [args...]
#
# The program finds the keyring's unlock password in TALVENOR_KEYRING_PASSWORD
# and TALVENOR_KEYRING=1 says the keyring is there.
set -u

if [ "$#" -lt 1 ]; then
  echo "usage: $0 <program> [args...]" >&2
  exit 2
fi

home=$(mktemp -d /tmp/talvenor-keyring.XXXXXX) || exit 1
mkdir -m 700 "$home/run"
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run"
unset XDG_CURRENT_DESKTOP DISPLAY WAYLAND_DISPLAY

bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) || { rm -rf "$home"; exit 1; }
DBUS_SESSION_BUS_ADDRESS=$(echo "$bus" | sed -n 1p)
bus_pid=$(echo "$bus" | sed -n 2p)
export DBUS_SESSION_BUS_ADDRESS

stop() {
  # The daemon outlives its bus: the bus names the process that serves it.
  keyring_pid=$(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.GetConnectionUnixProcessID org.freedesktop.secrets 2>/dev/null |
    sed -n 's/^(uint32 \([0-9]*\),)$/\1/p')
  [ -n "$keyring_pid" ] && kill "$keyring_pid" 2>/dev/null
  kill "$bus_pid" 2>/dev/null
  rm -rf "$home"
}
trap stop EXIT
trap 'exit 1' INT TERM

export TALVENOR_KEYRING_PASSWORD=keyring-test-password
printf '%s' "$TALVENOR_KEYRING_PASSWORD" | gnome-keyring-daemon --unlock --components=secrets > "$home/keyring.env" 2>&1 || {
  cat "$home/keyring.env" >&2
  exit 1
}
# The daemon takes its name on the bus a moment after it returns.
i=0
until gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
  --method org.freedesktop.DBus.NameHasOwner org.freedesktop.secrets 2>/dev/null | grep -q true; do
  i=$((i + 1))
  if [ "$i" -gt 100 ]; then
    echo "no Secret Service on the bus" >&2
    exit 1
  fi
  sleep 0.05
done
export TALVENOR_KEYRING=1
"$@"
