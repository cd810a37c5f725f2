# shellcheck shell=bash
# Shell helpers of the desktop scripts (session.sh, a11y-bus.sh); sourced, not run.

# Polls a condition every 20 ms for up to $1 seconds.
poll() {
  local seconds=$1; shift
  local tries=$((seconds * 50))
  for _ in $(seq "$tries"); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.02
  done
  return 1
}

# Every process below a PID, deepest first (the a11y bus daemon and the registry daemon are
# started by at-spi-bus-launcher, not by us).
descendants() {
  local child
  for child in $(ps -o pid= --ppid "$1" 2>/dev/null); do
    descendants "$child"
    echo "$child"
  done
}

# Running, and not a zombie waiting for a parent that is not us.
alive() {
  local state
  state=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
  [[ $state != Z* ]]
}

none_alive() {
  local pid
  for pid; do alive "$pid" && return 1; done
  return 0
}

# Ends the processes and everything below them: SIGTERM, then SIGKILL to what is left after a second.
end_trees() {
  local victims="" pid
  for pid; do victims="$victims $(descendants "$pid") $pid"; done
  # shellcheck disable=SC2086
  kill -TERM $victims 2>/dev/null || true
  # shellcheck disable=SC2086
  poll 1 none_alive $victims || kill -KILL $victims 2>/dev/null || true
}
