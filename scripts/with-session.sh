#!/usr/bin/env bash
# Runs a command inside a private desktop session for the platform tests: an X server (Xvfb)
# with a window manager (openbox, as a user's desktop has one), a D-Bus session bus, and an
# unlocked Secret Service (gnome-keyring) on that bus
# (PARLENDO_TEST_NO_SECRET_SERVICE=1: none, on purpose; the tests that need it skip themselves).
#
# The session has a home of its own: HOME, the XDG folders, EV_LOG_DIR and the runtime folder
# point into a temporary tree (exported as PARLENDO_TEST_SESSION_HOME) that is removed at the
# end, so neither the tests nor the session's daemons write into the user's folders.
set -euo pipefail
if [ "${1:-}" = "--inner" ]; then
  shift
  # The Secret Service. Its tests fail when it is missing; PARLENDO_TEST_NO_SECRET_SERVICE=1
  # runs the session without one on purpose, and then they skip themselves.
  if [ "${PARLENDO_TEST_NO_SECRET_SERVICE:-}" != 1 ]; then
    if ! command -v gnome-keyring-daemon >/dev/null 2>&1; then
      echo "with-session.sh: gnome-keyring-daemon is missing (scripts/setup.sh installs it);" \
        "set PARLENDO_TEST_NO_SECRET_SERVICE=1 to run without a Secret Service" >&2
      exit 1
    fi
    export GNOME_KEYRING_CONTROL=""
    keyring_log="$(mktemp)"
    if ! keyring_env="$(printf 'parlendo-test\n' |
      gnome-keyring-daemon --unlock --components=secrets 2>"$keyring_log")"; then
      echo "with-session.sh: gnome-keyring-daemon did not start:" >&2
      cat "$keyring_log" >&2
      exit 1
    fi
    eval "$keyring_env"
    export GNOME_KEYRING_CONTROL SSH_AUTH_SOCK
    # Wait until the service answers on the bus, so that no test runs before it.
    for _ in $(seq 50); do
      if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
        grep -q 'boolean true'; then
        break
      fi
      sleep 0.1
    done
    if ! dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
      grep -q 'boolean true'; then
      echo "with-session.sh: the Secret Service did not appear on the session bus:" >&2
      cat "$keyring_log" >&2
      exit 1
    fi
    rm -f "$keyring_log"
  fi
  # The window manager, with its stock settings. No test runs before it has taken the screen:
  # it then names its check window on the root (_NET_SUPPORTING_WM_CHECK).
  wm_log="$PARLENDO_TEST_SESSION_HOME/openbox.log"
  openbox --sm-disable >"$wm_log" 2>&1 &
  wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
  for _ in $(seq 100); do
    if wm_ready; then break; fi
    sleep 0.1
  done
  if ! wm_ready; then
    echo "with-session.sh: the window manager (openbox) did not take the screen:" >&2
    cat "$wm_log" >&2
    exit 1
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
