#!/bin/sh
# usage: time-query-live-server.sh TEST_EXECUTABLE TIMESHIM CHRONYD
# Runs the live-server time query test inside a private network namespace, once per server
# that its functions expect: inetd's time service frozen at 1983-05-01 00:00:00 UTC, nothing on
# port 37, a server that splits its reply, and chronyd 100 days ahead. Whatever happens, every
# server is stopped by pid and the namespace is deleted.
set -eu
[ "$(id -u)" -eq 0 ] || { echo "skipped: needs root for network namespaces"; exit 77; }
TEST=$1 SHIM=$2 CHRONYD=$3
PEERS=$(cd "$(dirname "$0")/../peers" && pwd)
. "$PEERS/lib.sh"

NS=kvquery-$$
DIR=$(mktemp -d)
cleanup() {
    "$PEERS/timesrv-stop.sh" "$DIR" || true
    "$PEERS/faultsrv-stop.sh" "$DIR" 37 || true
    stop_pidfile "$DIR/ntpsrv.pid"
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
"$PEERS/faultsrv-stop.sh" "$DIR" 37

"$PEERS/ntpsrv-start.sh" "$NS" "$DIR" +100d "$CHRONYD" >/dev/null
ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 TZ=UTC LD_PRELOAD=$SHIM \
    TIMESHIM_LOG=$DIR/clock.log run ntpServerSetsTheClock
