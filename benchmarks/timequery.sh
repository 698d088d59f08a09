#!/bin/sh
# usage: timequery.sh BUILD_DIR [ROUNDS [RDATE_RUNS]]
# The time query against inetd's time service inside a private network namespace: the program's
# path from GettimeClick to the clock call beside a blocking socket (bench_timequery, ROUNDS
# queries, default 300), and rdate as a whole process for comparison (RDATE_RUNS, default 100).
# rdate only prints (-p); neither it nor the benchmark can reach the clock. Then the same against
# chronyd (100 days ahead, as NTP server), beside chronyd -Q as a whole process. Needs root.
set -eu
BUILD=$(cd "$1" && pwd)
ROUNDS=${2:-300}
RDATE_RUNS=${3:-100}
[ "$(id -u)" -eq 0 ] || { echo "timequery: needs root for a network namespace; skipped" >&2; exit 0; }
PEERS=$(cd "$(dirname "$0")/../tests/peers" && pwd)

NS=kvbench-$$
DIR=$(mktemp -d)
cleanup() {
    "$PEERS/timesrv-stop.sh" "$DIR" || true
    [ -r "$DIR/ntpsrv.pid" ] && (. "$PEERS/lib.sh" && stop_pidfile "$DIR/ntpsrv.pid")
    "$PEERS/netns-delete.sh" "$NS" || true
    rm -rf "$DIR"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

inside() {
    ip netns exec "$NS" setpriv --bounding-set=-sys_time --inh-caps=-sys_time "$@"
}

"$PEERS/netns-create.sh" "$NS"
"$PEERS/timesrv-start.sh" "$NS" "$DIR" '1983-05-01 00:00:00' >/dev/null

inside env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$DIR" "$BUILD/benchmarks/bench_timequery" "$ROUNDS"

# One shell inside the namespace runs every rdate, so that only rdate itself is timed.
inside sh -c '
    runs=$1 failed=0
    start=$(date +%s%N)
    i=0
    while [ $i -lt "$runs" ]; do
        rdate -p -o 37 127.0.0.1 >/dev/null 2>&1 || failed=$((failed + 1))
        i=$((i + 1))
    done
    end=$(date +%s%N)
    echo "rdate -p as a process: $(((end - start) / 1000 / runs)) us per run ($runs runs, $failed failed)"
' rdate "$RDATE_RUNS"

CHRONYD=$(cd "$(dirname "$0")/.." && pwd)/build/peers/chrony/usr/sbin/chronyd
"$PEERS/ntpsrv-start.sh" "$NS" "$DIR/ntp" +100d "$CHRONYD" >/dev/null
cp "$DIR/ntp/ntpsrv.pid" "$DIR/ntpsrv.pid"
inside env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$DIR" "$BUILD/benchmarks/bench_timequery" "$ROUNDS" ntp
# chronyd -Q asks, prints the offset and sets nothing; one sample, timed as a whole process.
printf '%s\n' 'server 127.0.0.1 iburst maxsamples 1' 'cmdport 0' 'user root' "pidfile $DIR/q.pid" >"$DIR/q.conf"
inside sh -c '
    start=$(date +%s%N)
    offset=$("$1" -Q -t 10 -f "$2" 2>&1 | grep -o "wrong by [-0-9.]* seconds")
    end=$(date +%s%N)
    echo "chronyd -Q as a process: $(((end - start) / 1000)) us for one run (clock $offset)"
' chronyd "$CHRONYD" "$DIR/q.conf"
