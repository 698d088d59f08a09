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
    stop_pidfile "$DIR/manager.pid"
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

# chronyd, set directly and through the time service: the real systemd-timedated on a private
# system bus, its clock the shim's. A systemd user manager with only the units of
# peers/service-manager stands in for the system's: it starts the bus from its socket, as the
# system does, and runs the NTP unit the time service asks about. In a mount namespace of its own, an
# empty /run/systemd/system tells it that the system runs systemd. Run as root, the test passes the
# service's own check of its caller, so polkit is not asked.
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$DIR/system_bus
XDG_RUNTIME_DIR=$DIR SYSTEMD_UNIT_PATH=$PEERS/service-manager DBUS_SESSION_BUS_ADDRESS=$DBUS_SYSTEM_BUS_ADDRESS \
    unshare -m sh -c 'mount -t tmpfs tmpfs /run && mkdir -p /run/systemd/system &&
        exec /lib/systemd/systemd --user --unit=kvtest.target' >"$DIR/manager.log" 2>&1 &
echo $! >"$DIR/manager.pid"
waited=0
until busctl --system status org.freedesktop.systemd1 >/dev/null 2>&1 || [ $waited -gt 100 ]; do
    sleep 0.05
    waited=$((waited + 1))
done
SYSTEMD_TIMEDATED_NTP_SERVICES=kvtest-ntp.service LD_PRELOAD=$SHIM TIMESHIM_LOG=$DIR/timedated.log \
    setpriv --bounding-set=-sys_time --inh-caps=-sys_time /lib/systemd/systemd-timedated >"$DIR/timedated.out" 2>&1 &
echo $! >"$DIR/timedated.pid"
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 TZ=UTC
export TIMESHIM_LOG=$DIR/clock.log TIMEDATED_LOG=$DIR/timedated.log
LD_PRELOAD=$SHIM run ntpServerSetsTheClock
XDG_RUNTIME_DIR=$DIR systemctl --user start kvtest-ntp.service
LD_PRELOAD=$SHIM run automaticSyncLeavesTheClock
