#!/usr/bin/env bash
# Runs a command inside a private desktop of its own: Xvfb, openbox, a session D-Bus and the
# accessibility bus, switched on. Everything it starts is ended by PID when the command ends or
# the script is interrupted. Several can run at once (Xvfb -displayfd, the daemons' addresses).
#
#   tests/desktop/session.sh CMD [ARGS...]       exit status is CMD's
#   SORELWICK_DESKTOP_SIZE=1280x800 ...          screen size (default 1600x1000)
#   SORELWICK_DESKTOP_KEEP=1 ...                 keep the temp dir (logs of the daemons)
#
# Inside, DISPLAY, DBUS_SESSION_BUS_ADDRESS, private XDG_* dirs, SORELWICK_DESKTOP_TMP,
# SORELWICK_A11Y_BUS_ADDRESS and SORELWICK_A11Y_BUS_SCRIPT (tests/desktop/a11y-bus.sh) are set.
set -euo pipefail

[ $# -gt 0 ] || { echo "usage: $0 CMD [ARGS...]" >&2; exit 2; }

here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d "${TMPDIR:-/tmp}/sorelwick-desktop.XXXXXX")
started=() # PIDs in start order; ended in reverse

# shellcheck source=tests/desktop/processes.sh
. "$here/processes.sh"

end_pid() {
  end_trees "$1"
  wait "$1" 2>/dev/null || true
}

cleanup() {
  local i
  # The command first, then the accessibility bus while the session bus still answers.
  [ -n "${command_pid:-}" ] && end_pid "$command_pid"
  [ -n "${a11y_started:-}" ] && { "$SORELWICK_A11Y_BUS_SCRIPT" stop || true; }
  for ((i = ${#started[@]} - 1; i >= 0; i--)); do end_pid "${started[i]}"; done
  if [ -n "${SORELWICK_DESKTOP_KEEP:-}" ]; then
    echo "desktop logs kept in $tmp" >&2
  else
    rm -rf "$tmp"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
  echo "desktop session: $*" >&2
  for f in "$tmp"/*.log; do [ -s "$f" ] && { echo "--- $f" >&2; tail -n 20 "$f" >&2; }; done
  exit 1
}

# ---- X server: Xvfb picks a free display and writes its number to the pipe.
mkfifo "$tmp/displayfd"
Xvfb -displayfd 3 -screen 0 "${SORELWICK_DESKTOP_SIZE:-1600x1000}x24" -nolisten tcp -noreset \
  3>"$tmp/displayfd" >"$tmp/xvfb.log" 2>&1 &
started+=($!)
read -r -t 20 display_number <"$tmp/displayfd" || fail "Xvfb did not report a display"
export DISPLAY=":$display_number"

# ---- private per-session directories, so parallel sessions share no settings or sockets.
export HOME="$tmp/home"
export XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data" XDG_CACHE_HOME="$tmp/cache"
export XDG_RUNTIME_DIR="$tmp/runtime" XDG_SESSION_TYPE=x11
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY SESSION_MANAGER AT_SPI_BUS_ADDRESS NO_AT_BRIDGE
export GSETTINGS_BACKEND=memory   # GTK applications keep their settings in memory
export GTK_A11Y=atspi GNOME_ACCESSIBILITY=1
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 QT_QPA_PLATFORM=xcb
export LANG=C.UTF-8 LC_ALL=C.UTF-8
export SORELWICK_DESKTOP_TMP="$tmp"

# ---- session bus
mkfifo "$tmp/busfd"
dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$tmp/busfd" >"$tmp/dbus.log" 2>&1 &
started+=($!)
read -r -t 20 bus_address <"$tmp/busfd" || fail "dbus-daemon did not report an address"
export DBUS_SESSION_BUS_ADDRESS="$bus_address"

# ---- window manager (openbox sets _NET_SUPPORTING_WM_CHECK on the root window when it is up)
openbox --sm-disable >"$tmp/openbox.log" 2>&1 &
started+=($!)
poll 20 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
  fail "openbox did not start"

# ---- accessibility bus, switched on; its processes are ended by PID through the same script
# (a test may end and restart it: SORELWICK_A11Y_BUS_SCRIPT stop|start).
# Not exported as AT_SPI_BUS_ADDRESS: Qt 6.4 given that variable never registers its application.
# Clients find the bus through org.a11y.Bus on the session bus, as on a desktop.
export SORELWICK_A11Y_BUS_SCRIPT="$here/a11y-bus.sh"
a11y_started=1
SORELWICK_A11Y_BUS_ADDRESS=$("$SORELWICK_A11Y_BUS_SCRIPT" start) || fail "the accessibility bus did not start"
export SORELWICK_A11Y_BUS_ADDRESS

# ---- the command, in the background so a signal reaches the traps at once
set +e
"$@" &
command_pid=$!
started+=("$command_pid")
wait "$command_pid"
status=$?
set -e
exit "$status"
