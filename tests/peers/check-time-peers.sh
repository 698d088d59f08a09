#!/bin/sh
# Checks the time query's test peers against what the tests rely on: the time server's fixed
# answer on port 37 inside a private namespace, the faulty servers' behaviour, and a clean
# teardown (no process, no namespace left).
set -eu
[ "$(id -u)" -eq 0 ] || { echo "skipped: needs root for network namespaces"; exit 77; }
PEERS=$(cd "$(dirname "$0")" && pwd)
. "$PEERS/lib.sh"

NS=kvtime-$$
DIR=$(mktemp -d)
failures=0

cleanup() {
    "$PEERS/timesrv-stop.sh" "$DIR"
    for port in 3701 3702 3703; do "$PEERS/faultsrv-stop.sh" "$DIR" "$port"; done
    "$PEERS/netns-delete.sh" "$NS"
    rm -rf "$DIR"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# read_port PORT SECONDS: what a client inside NS receives from PORT within SECONDS, as hex.
read_port() {
    ip netns exec "$NS" timeout "$2" socat -u "TCP:127.0.0.1:$1" STDOUT | od -An -tx1 | tr -d ' \n'
}

expect() { # expect WHAT GOT WANTED
    if [ "$2" = "$3" ]; then echo "ok: $1"; else fail "$1: got '$2', wanted '$3'"; fi
}

"$PEERS/netns-create.sh" "$NS"

# The server's clock stands still: two reads a second apart give the same bytes.
pid=$("$PEERS/timesrv-start.sh" "$NS" "$DIR" '1983-05-01 00:00:00')
expect "time server answers 1983-05-01" "$(read_port 37 5)" 9cbc4480
sleep 1.1
expect "time server's answer stays fixed" "$(read_port 37 5)" 9cbc4480
"$PEERS/timesrv-stop.sh" "$DIR"
alive "$pid" && fail "time server $pid still runs after stop"

# Restarting on the same port works, with another time.
pid=$("$PEERS/timesrv-start.sh" "$NS" "$DIR" '1970-01-01 00:00:00')
expect "time server answers 1970-01-01" "$(read_port 37 5)" 83aa7e80
"$PEERS/timesrv-stop.sh" "$DIR"
alive "$pid" && fail "time server $pid still runs after stop"

# split: the first half at once, the rest only after the delay, then the close.
split=$("$PEERS/faultsrv-start.sh" "$NS" "$DIR" split 3701 2)
expect "split server sends 2 bytes first" "$(read_port 3701 1)" 9cbc
expect "split server sends all 4 bytes and closes" "$(read_port 3701 5)" 9cbc4480

# silent: connected, but nothing comes and the connection stays open until the client gives up.
silent=$("$PEERS/faultsrv-start.sh" "$NS" "$DIR" silent 3702)
expect "silent server sends nothing" "$(read_port 3702 1)" ""
ip netns exec "$NS" timeout 1 socat -u TCP:127.0.0.1:3702 STDOUT >/dev/null && status=0 || status=$?
# 124 is timeout's own status: socat was still connected; a refused connection gives 1 at once.
expect "silent server keeps the connection open (timeout's status)" "$status" 124

# linger: all 4 bytes, then the connection stays open.
linger=$("$PEERS/faultsrv-start.sh" "$NS" "$DIR" linger 3703)
ip netns exec "$NS" timeout 1 socat -u TCP:127.0.0.1:3703 STDOUT >"$DIR/linger.out" && status=0 || status=$?
expect "linger server sends 4 bytes" "$(od -An -tx1 <"$DIR/linger.out" | tr -d ' \n')" 9cbc4480
expect "linger server keeps the connection open (timeout's status)" "$status" 124

# Teardown by pid leaves nothing behind.
for port in 3701 3702 3703; do "$PEERS/faultsrv-stop.sh" "$DIR" "$port"; done
for pid in $split $silent $linger; do alive "$pid" && fail "faulty server $pid still runs after stop"; done
left=$(ip netns pids "$NS")
expect "no process left in the namespace" "$left" ""
"$PEERS/netns-delete.sh" "$NS"
ip netns list | grep -q "^$NS\( \|\$\)" && fail "namespace $NS still exists"

[ "$failures" -eq 0 ]
