#!/usr/bin/env bash
# Runs a command with a throwaway, unlocked gnome-keyring on the current D-Bus session
# (start it under dbus-run-session). The keyring lives in a temp HOME.
# The unlock password must not be empty: with an empty one the daemon creates no
# login collection and every store fails.
set -euo pipefail
keyring_home="$(mktemp -d)"
trap 'kill "${GNOME_KEYRING_PID:-}" 2>/dev/null || true; rm -rf "$keyring_home"' EXIT
export XDG_DATA_HOME="$keyring_home/data"
mkdir -p "$XDG_DATA_HOME/keyrings" "$keyring_home/run"
chmod 700 "$keyring_home/run"
# The daemon's control socket goes in the temp folder too, never in the real cache.
eval "$(printf 'throwaway' | XDG_RUNTIME_DIR="$keyring_home/run" \
        gnome-keyring-daemon --unlock --components=secrets --daemonize)"
export GNOME_KEYRING_CONTROL GNOME_KEYRING_PID
"$@"
