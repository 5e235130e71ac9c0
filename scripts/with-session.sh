#!/usr/bin/env bash
# Runs a command inside a private desktop session for the platform tests: an X server (Xvfb),
# a D-Bus session bus, and an unlocked Secret Service (gnome-keyring) on that bus.
#
# The session has a home of its own: HOME, the XDG folders, EV_LOG_DIR and the runtime folder
# point into a temporary tree (exported as PARLENDO_TEST_SESSION_HOME) that is removed at the
# end, so neither the tests nor the session's daemons write into the user's folders.
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

session_home="$(mktemp -d "${TMPDIR:-/tmp}/parlendo-session-XXXXXX")"
cleanup() {
  chmod -R u+rwx "$session_home" 2>/dev/null || true
  rm -rf "$session_home"
}
trap cleanup EXIT
export PARLENDO_TEST_SESSION_HOME="$session_home"
export HOME="$session_home/home"
export XDG_CONFIG_HOME="$HOME/.config"
export XDG_DATA_HOME="$HOME/.local/share"
export XDG_STATE_HOME="$HOME/.local/state"
export XDG_CACHE_HOME="$HOME/.cache"
export EV_LOG_DIR="$session_home/log"
export XDG_RUNTIME_DIR="$session_home/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_STATE_HOME" "$XDG_CACHE_HOME" "$EV_LOG_DIR" \
  "$XDG_RUNTIME_DIR"
chmod 700 "$session_home" "$XDG_RUNTIME_DIR"

status=0
xvfb-run -a -s "-screen 0 1920x1080x24" dbus-run-session -- "$0" --inner "$@" || status=$?
exit "$status"
