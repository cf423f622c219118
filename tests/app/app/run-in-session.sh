#!/bin/sh
# Runs a program in a session of its own: a private D-Bus session bus, a throw-away HOME
# with its XDG folders and runtime folder, and no display (tests start their own Xvfb).
# Without dbus-run-session the program runs as it is and the bus tests skip.
set -eu
# Listing the tests needs none of it.
for arg in "$@"; do
    [ "$arg" = --gtest_list_tests ] && exec "$@"
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM
export HOME="$tmp/home"
export XDG_DATA_HOME="$HOME/.local/share" XDG_CONFIG_HOME="$HOME/.config"
export XDG_CACHE_HOME="$HOME/.cache" XDG_STATE_HOME="$HOME/.local/state"
export XDG_RUNTIME_DIR="$tmp/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS XDG_SESSION_TYPE
export QT_QPA_PLATFORM=offscreen
if ! command -v dbus-run-session >/dev/null; then
    echo "run-in-session: dbus-run-session missing" >&2
    exec "$@"
fi
status=0
dbus-run-session -- "$@" || status=$?
exit $status
