#!/usr/bin/env bash
# Runs a command inside a private desktop session for the platform tests: an X server (Xvfb),
# a D-Bus session bus, and an unlocked Secret Service (gnome-keyring) on that bus.
set -euo pipefail
if [ "${1:-}" = "--inner" ]; then
  shift
  if command -v gnome-keyring-daemon >/dev/null 2>&1; then
    export GNOME_KEYRING_CONTROL=""
    eval "$(printf 'parlendo-test\n' | gnome-keyring-daemon --unlock --components=secrets 2>/dev/null)" || true
    export GNOME_KEYRING_CONTROL SSH_AUTH_SOCK
  fi
  exec "$@"
fi
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"
exec xvfb-run -a -s "-screen 0 1920x1080x24" dbus-run-session -- "$0" --inner "$@"
