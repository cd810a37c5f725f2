#!/usr/bin/env bash
# `sorelwick --trigger` as a whole process, as a desktop shortcut starts it, next to `true` in the
# same hyperfine run. A stand-in primary holds the lock and answers "ok" on the socket, so only
# the hand-over is measured, not the running program's work.
#
#   bench/trigger.sh [SORELWICK_BINARY]          default build/bin/sorelwick
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/bin/sorelwick}
runtime=$(mktemp -d)
trap 'kill "$primary" 2>/dev/null || true; wait "$primary" 2>/dev/null || true; rm -rf "$runtime"' EXIT
mkdir -m 700 "$runtime/sorelwick"

/usr/bin/python3 - "$runtime/sorelwick" <<'PY' &
import fcntl, os, socket, sys
folder = sys.argv[1]
lock = open(os.path.join(folder, "instance.lock"), "w")
fcntl.flock(lock, fcntl.LOCK_EX)
server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
server.bind(os.path.join(folder, "instance.socket"))
server.listen(64)
open(os.path.join(folder, "ready"), "w").close()
while True:
    conn, _ = server.accept()
    data = b""
    while b"\n" not in data:
        chunk = conn.recv(512)
        if not chunk:
            break
        data += chunk
    conn.sendall(b"ok\n")
    conn.close()
PY
primary=$!
for _ in $(seq 100); do [ -f "$runtime/sorelwick/ready" ] && break; sleep 0.05; done

# The desktop gives these to a command it starts (where it gives them at all).
export XDG_RUNTIME_DIR=$runtime XDG_ACTIVATION_TOKEN=bench-token DESKTOP_STARTUP_ID=bench_TIME1
"$bin" --trigger || { echo "sorelwick --trigger failed" >&2; exit 1; }
hyperfine -N --warmup 10 --runs 200 true "$bin --trigger"
