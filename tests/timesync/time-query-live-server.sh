#!/bin/sh
# usage: time-query-live-server.sh TEST_EXECUTABLE
# Runs the live-server time query test inside a private network namespace, once per server
# that its functions expect: inetd's time service frozen at 1983-05-01 00:00:00 UTC, nothing on
# port 37, and a server that splits its reply. Whatever happens, every server is stopped by
# pid and the namespace is deleted.
set -eu
[ "$(id -u)" -eq 0 ] || { echo "skipped: needs root for network namespaces"; exit 77; }
TEST=$1
PEERS=$(cd "$(dirname "$0")/../peers" && pwd)

NS=kvquery-$$
DIR=$(mktemp -d)
cleanup() {
    "$PEERS/timesrv-stop.sh" "$DIR" || true
    "$PEERS/faultsrv-stop.sh" "$DIR" 37 || true
    "$PEERS/netns-delete.sh" "$NS" || true
    rm -rf "$DIR"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# run FUNCTION...: the test functions, inside the namespace, with no way to reach the clock.
run() {
    ip netns exec "$NS" env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$DIR" \
        setpriv --bounding-set=-sys_time --inh-caps=-sys_time "$TEST" "$@"
}

"$PEERS/netns-create.sh" "$NS"

"$PEERS/timesrv-start.sh" "$NS" "$DIR" '1983-05-01 00:00:00' >/dev/null
run replySetsTheClock
"$PEERS/timesrv-stop.sh" "$DIR"

run refusedConnectionWarnsOnce

"$PEERS/faultsrv-start.sh" "$NS" "$DIR" split 37 1 >/dev/null
run splitReplySetsNothing
