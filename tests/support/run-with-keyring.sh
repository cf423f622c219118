#!/bin/sh
# Runs a program with a private session bus and an unlocked keyring of its own.
# Where the parts are missing, the program runs as it is and its tests skip.
set -eu
if ! command -v dbus-run-session >/dev/null || ! command -v gnome-keyring-daemon >/dev/null ||
    ! command -v gdbus >/dev/null; then
    echo "run-with-keyring: dbus-run-session, gnome-keyring-daemon or gdbus missing" >&2
    exec "$@"
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM
export HOME="$tmp/home"
export XDG_DATA_HOME="$HOME/.local/share" XDG_CONFIG_HOME="$HOME/.config"
export XDG_CACHE_HOME="$HOME/.cache" XDG_RUNTIME_DIR="$tmp/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS

# The daemon runs in the foreground so it can be stopped by its pid whatever the
# program does. A non-empty password makes it create and unlock the login keyring,
# the default collection.
status=0
dbus-run-session -- sh -c '
    printf "throw-away" | gnome-keyring-daemon --foreground --unlock --components=secrets \
        >/dev/null 2>&1 &
    daemon=$!
    i=0
    while [ $i -lt 100 ] && ! gdbus call --session --dest org.freedesktop.DBus \
            --object-path /org/freedesktop/DBus --method org.freedesktop.DBus.NameHasOwner \
            org.freedesktop.secrets 2>/dev/null | grep -q true; do
        sleep 0.05
        i=$((i + 1))
    done
    status=0
    "$@" || status=$?
    kill "$daemon" 2>/dev/null || true
    wait "$daemon" 2>/dev/null || true
    exit $status' run-with-keyring "$@" || status=$?
exit $status
