#!/usr/bin/env bash
# The accessibility bus of a private desktop (tests/desktop/session.sh): started switched on, as
# the desktop's assistive-technology switch would, or ended, as when a desktop session restarts
# it. Every process it starts goes by PID into $SORELWICK_DESKTOP_TMP/a11y.pids, which `stop`
# (and the session's own clean-up) ends.
#
#   a11y-bus.sh start    prints the bus address
#   a11y-bus.sh stop     the launcher, its bus daemon and the registry ended, the name gone
set -euo pipefail

tmp=${SORELWICK_DESKTOP_TMP:?run inside tests/desktop/session.sh}
pids="$tmp/a11y.pids"

# shellcheck source=tests/desktop/processes.sh
. "$(dirname "$0")/processes.sh"

session_call() {
  dbus-send --session --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus "$@"
}
# Asked without starting the launcher on demand: the session bus would start one of its own.
bus_owned() { session_call org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus | grep -q true; }
bus_gone() { ! bus_owned; }
owner_pid() {
  session_call org.freedesktop.DBus.GetConnectionUnixProcessID string:org.a11y.Bus 2>/dev/null | awk '{print $2}'
}

start() {
  /usr/libexec/at-spi-bus-launcher --launch-immediately --a11y=1 >>"$tmp/atspi.log" 2>&1 &
  echo $! >>"$pids"
  poll 20 bus_owned || { echo "the accessibility bus did not start" >&2; return 1; }
  # A client may have had the session bus start a launcher first; that one serves, and is ended too.
  owner=$(owner_pid)
  [ -n "$owner" ] && echo "$owner" >>"$pids"
  address=$(dbus-send --session --print-reply=literal --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress |
    tr -d ' ')
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled variant:boolean:true \
    >/dev/null || { echo "could not switch accessibility on" >&2; return 1; }
  # The registry daemon is started on demand; asked once so the first client does not wait for it.
  poll 20 dbus-send --bus="$address" --print-reply --dest=org.a11y.atspi.Registry \
    /org/a11y/atspi/accessible/root org.freedesktop.DBus.Properties.Get \
    string:org.a11y.atspi.Accessible string:ChildCount || { echo "the accessibility registry did not start" >&2; return 1; }
  # The bus daemon starts the registry detached from the launcher; its PID comes from the bus.
  dbus-send --bus="$address" --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.GetConnectionUnixProcessID string:org.a11y.atspi.Registry | awk '{print $2}' >>"$pids"
  echo "$address"
}

stop() {
  [ -f "$pids" ] || return 0
  local recorded
  mapfile -t recorded < <(sort -u "$pids")
  end_trees "${recorded[@]}"
  rm -f "$pids"
  poll 10 bus_gone || { echo "the accessibility bus name stays owned" >&2; return 1; }
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop" >&2; exit 2 ;;
esac
