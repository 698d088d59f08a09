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
# AS, BIN and RUNTIME, when set, name another user, a copy of the test it can run, and its folder.
run() {
    ip netns exec "$NS" env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="${RUNTIME:-$DIR}" \
        setpriv ${AS:-} --bounding-set=-sys_time --inh-caps=-sys_time "${BIN:-$TEST}" "$@"
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
# system does, runs the NTP unit the time service asks about, and runs polkitd with the rules of
# peers/service-manager/polkit-rules in place of the system's. In a mount namespace of its own,
# an empty /run/systemd/system tells it that the system runs systemd.
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$DIR/system_bus
chmod 711 "$DIR" # for polkitd and nobody, who have their own users
XDG_RUNTIME_DIR=$DIR SYSTEMD_UNIT_PATH=$PEERS/service-manager DBUS_SESSION_BUS_ADDRESS=$DBUS_SYSTEM_BUS_ADDRESS \
    unshare -m sh -c 'mount -t tmpfs tmpfs /run && mkdir -p /run/systemd/system &&
        exec /lib/systemd/systemd --user --unit=kvtest.target' >"$DIR/manager.log" 2>&1 &
echo $! >"$DIR/manager.pid"
waited=0
until { busctl --system status org.freedesktop.systemd1 && busctl --system status org.freedesktop.PolicyKit1; } \
    >/dev/null 2>&1 || [ $waited -gt 100 ]; do
    sleep 0.05
    waited=$((waited + 1))
done
SYSTEMD_TIMEDATED_NTP_SERVICES=kvtest-ntp.service LD_PRELOAD=$SHIM TIMESHIM_LOG=$DIR/timedated.log \
    setpriv --bounding-set=-sys_time --inh-caps=-sys_time /lib/systemd/systemd-timedated >"$DIR/timedated.out" 2>&1 &
echo $! >"$DIR/timedated.pid"
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 TZ=UTC
export TIMESHIM_LOG=$DIR/clock.log TIMEDATED_LOG=$DIR/timedated.log
LD_PRELOAD=$SHIM run ntpServerSetsTheClock:directly
# Through the time service as a desktop user would: polkit is asked, and its rule allows nobody.
# The test is copied where that user can run it.
USER_DIR=$DIR/nobody
mkdir -m 700 "$USER_DIR"
cp "$TEST" "$SHIM" "$USER_DIR"
chown -R nobody:nogroup "$USER_DIR"
AS="--reuid=nobody --regid=nogroup --clear-groups" BIN=$USER_DIR/${TEST##*/} RUNTIME=$USER_DIR \
    TIMESHIM_LOG=$USER_DIR/clock.log LD_PRELOAD=$USER_DIR/${SHIM##*/} run "ntpServerSetsTheClock:through the time service"
XDG_RUNTIME_DIR=$DIR systemctl --user start kvtest-ntp.service
LD_PRELOAD=$SHIM run automaticSyncLeavesTheClock
