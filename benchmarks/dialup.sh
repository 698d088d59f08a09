#!/bin/bash
# usage: dialup.sh BUILD_DIR [CYCLES]
# The dial-up watcher inside a private network namespace with inetd's time service: the cost of
# one connection check (bench_dialup, with 1 and with 50 point-to-point links), then the real
# program on a private X desktop through CYCLES dial-ups (default 4): the time from a link coming
# up to the clock call, and from its going down to the end of the program it launched. The watcher
# looks every 5 s, and each link comes up and goes down at a random moment of that period, so the
# delays spread over it: about 2.5 s on average, never much above 5 s. Clock calls go to the
# preload shim and CAP_SYS_TIME is dropped. Needs root.
set -u
BUILD=$(cd "$1" && pwd)
CYCLES=${2:-4}
HERE=$(cd "$(dirname "$0")" && pwd)
PEERS=$HERE/../tests/peers
[ "$(id -u)" -eq 0 ] || { echo "dialup: needs root for a network namespace; skipped" >&2; exit 0; }

if [ "${KRONVIK_INSIDE_NS:-}" != 1 ]; then
    NS=kvbench-dialup-$$
    W=$(mktemp -d /tmp/kronvik-bench.XXXXXX)
    cleanup() {
        "$PEERS/dialup-down.sh" "$NS" ppp0 "$W/link"
        "$PEERS/timesrv-stop.sh" "$W/server"
        "$PEERS/netns-delete.sh" "$NS"
        rm -rf "$W"
    }
    trap cleanup EXIT
    trap 'exit 1' INT TERM HUP
    inside() { ip netns exec "$NS" setpriv --bounding-set=-sys_time --inh-caps=-sys_time "$@"; }
    "$PEERS/netns-create.sh" "$NS"
    "$PEERS/timesrv-start.sh" "$NS" "$W/server" '1983-05-01 00:00:00' >/dev/null

    "$PEERS/dialup-up.sh" "$NS" ppp0 10.64.0.1 10.64.0.2 "$W/link"
    inside "$BUILD/benchmarks/bench_dialup" "1 point-to-point link"
    "$PEERS/dialup-down.sh" "$NS" ppp0 "$W/link"
    for i in $(seq 0 48); do echo "tuntap add mode tun name tun$i"; echo "link set tun$i up"; done | ip -n "$NS" -batch -
    "$PEERS/dialup-up.sh" "$NS" ppp0 10.64.0.1 10.64.0.2 "$W/link"
    inside "$BUILD/benchmarks/bench_dialup" "50 point-to-point links (the connected one last)"
    "$PEERS/dialup-down.sh" "$NS" ppp0 "$W/link"
    for i in $(seq 0 48); do echo "tuntap del mode tun name tun$i"; done | ip -n "$NS" -batch -

    KRONVIK_INSIDE_NS=1 NS=$NS W=$W inside "$0" "$@"
    exit $?
fi

. "$HERE/../tests/e2e/desktop.sh"
. "$HERE/../tests/e2e/kronvik.sh"
. "$PEERS/lib.sh"
HERE=$HERE/../tests/e2e # where kronvik.sh finds the peers
APP=$BUILD/kronvik
SHIM=$BUILD/tests/peers/libtimeshim.so
EVENTS=$W/events.log
trap 'kronvik_stop; desktop_stop' EXIT
desktop_start "$W"
kronvik_environment "$W"
mkdir -p "$W/programs" "$XDG_CONFIG_HOME/kronvik"
cp "$BUILD/tests/peers/xclient" "$W/programs/main"

now_ms() { echo $(($(date +%s%N) / 1000000)); }
# until CONDITION: polls every 10 ms for at most 15 s; the milliseconds waited, or "-" on giving up.
until_ms() {
    local start
    start=$(now_ms)
    while [ $(($(now_ms) - start)) -lt 15000 ]; do
        eval "$1" && { echo $(($(now_ms) - start)); return 0; }
        sleep 0.01
    done
    echo -
    return 1
}
program_pid() { awk '$1 == "start" { print $2; exit }' "$EVENTS" 2>/dev/null; }

up_total=0 down_total=0 up_max=0 down_max=0 done_cycles=0
for cycle in $(seq 1 "$CYCLES"); do
    # A fresh start each time: the program remembers the last address, and a known one is no news.
    rm -f "$W/clock.log" "$EVENTS"
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Kronvik\\Server]\n"Address"="10.64.0.1"\n"TimeMode"="1"\n\n[HKEY_CURRENT_USER\\Kronvik\\AppLauncher]\n"App0"="%s"\n' \
        "$W/programs/main" >"$XDG_CONFIG_HOME/kronvik/user.reg"
    TZ=UTC LD_PRELOAD=$SHIM TIMESHIM_LOG=$W/clock.log XCLIENT_LOG=$EVENTS kronvik_start "$APP" "$W"
    waitfor '[ -n "$(tray_icon_geometry kronvik)" ]' 100 || { echo "cycle $cycle: no tray icon" >&2; exit 1; }
    sleep "$(printf '0.%03d' $((RANDOM % 1000)))"
    sleep $((RANDOM % 5))
    "$PEERS/dialup-up.sh" "$NS" ppp0 10.64.0.1 10.64.0.2 "$W/link"
    up=$(until_ms '[ "$(wc -l 2>/dev/null <"$W/clock.log")" = 1 ]')
    waitfor '[ -n "$(program_pid)" ]' 150 || { echo "cycle $cycle: the program was not started" >&2; exit 1; }
    program=$(program_pid)
    sleep "$(printf '0.%03d' $((RANDOM % 1000)))"
    sleep $((RANDOM % 5))
    "$PEERS/dialup-down.sh" "$NS" ppp0 "$W/link"
    down=$(until_ms '! alive "$program"')
    kronvik_stop
    echo "cycle $cycle: link up -> clock call ${up} ms; link down -> launched program ended ${down} ms"
    if [ "$up" != - ] && [ "$down" != - ]; then
        up_total=$((up_total + up)) down_total=$((down_total + down)) done_cycles=$((done_cycles + 1))
        [ "$up" -gt "$up_max" ] && up_max=$up
        [ "$down" -gt "$down_max" ] && down_max=$down
    fi
done
[ $done_cycles -gt 0 ] || exit 1
echo "over $done_cycles cycles (watcher period 5000 ms): link up -> clock call mean $((up_total / done_cycles)) ms," \
    "max $up_max ms; link down -> program ended mean $((down_total / done_cycles)) ms, max $down_max ms"
