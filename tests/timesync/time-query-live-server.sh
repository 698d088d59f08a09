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
    stop_pidfile "$DIR/timedated.pid"
    stop_pidfile "$DIR/bus.pid"
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

# chronyd, set directly and through the time service: the real systemd-timedated on a private system bus, its clock the shim's;
# no NTP units to look after. Run as root, the test passes the service's own check of its caller,
# so polkit is not asked.
printf '%s\n' '<busconfig><type>system</type><listen>unix:path='"$DIR"'/system_bus</listen>' \
    '<auth>EXTERNAL</auth><policy context="default"><allow user="*"/><allow own="*"/>' \
    '<allow send_type="method_call"/><allow send_type="method_return"/><allow send_type="error"/>' \
    '<allow send_type="signal"/><allow receive_type="method_call"/><allow receive_type="method_return"/>' \
    '<allow receive_type="error"/><allow receive_type="signal"/></policy></busconfig>' >"$DIR/system-bus.conf"
dbus-daemon --config-file="$DIR/system-bus.conf" --nofork >"$DIR/bus.log" 2>&1 &
echo $! >"$DIR/bus.pid"
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$DIR/system_bus
waited=0
until [ -S "$DIR/system_bus" ] || [ $waited -gt 100 ]; do sleep 0.05; waited=$((waited + 1)); done
SYSTEMD_TIMEDATED_NTP_SERVICES= LD_PRELOAD=$SHIM TIMESHIM_LOG=$DIR/timedated.log \
    setpriv --bounding-set=-sys_time --inh-caps=-sys_time /lib/systemd/systemd-timedated >"$DIR/timedated.out" 2>&1 &
echo $! >"$DIR/timedated.pid"
ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 TZ=UTC LD_PRELOAD=$SHIM \
    TIMESHIM_LOG=$DIR/clock.log TIMEDATED_LOG=$DIR/timedated.log run ntpServerSetsTheClock
