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
# The daemon may not own the Secret Service name yet when it has daemonized; a call
# made before then would have the bus start a second, locked daemon.
for _ in $(seq 300); do
  owned="$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null || true)"
  case "$owned" in *"boolean true"*) break ;; esac
  sleep 0.1
done
"$@"
