#!/bin/sh
# usage: mailcheck.sh BUILD_DIR [ROUNDS]
# The mailbox check against dovecot inside a private network namespace: the program's whole check
# (bench_mailcheck, ROUNDS checks, default 50) beside curl's STAT on the same server as a whole
# process (-I: STAT has a one-line reply), as a ratio of medians; the same over pop3s:// (a full
# TLS handshake each time, the certificate checked) beside curl --ssl-reqd; then the processor
# time of a check against a server that never answers. Needs root.
set -eu
BUILD=$(cd "$1" && pwd)
ROUNDS=${2:-50}
[ "$(id -u)" -eq 0 ] || { echo "mailcheck: needs root for a network namespace; skipped" >&2; exit 0; }
PEERS=$(cd "$(dirname "$0")/../tests/peers" && pwd)

NS=kvmailbench-$$
DIR=$(mktemp -d)
chmod 755 "$DIR"
mkdir -m 700 "$DIR/xdg"
cleanup() {
    "$PEERS/pop3srv-stop.sh" "$DIR/dovecot" || true
    "$PEERS/faultsrv-stop.sh" "$DIR" 110 || true
    "$PEERS/netns-delete.sh" "$NS" || true
    rm -rf "$DIR"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

inside() {
    ip netns exec "$NS" env XDG_RUNTIME_DIR="$DIR/xdg" SSL_CERT_FILE="$DIR/certs/ca.crt" setpriv --bounding-set=-sys_time --inh-caps=-sys_time "$@"
}

"$PEERS/netns-create.sh" "$NS"
"$PEERS/pop3srv-start.sh" "$NS" "$DIR/dovecot" 2 >/dev/null

# compare ADDRESS CURL-ARGUMENT...: the program's checks of ADDRESS beside curl's STAT.
compare() {
    address=$1
    shift
    program=$(inside "$BUILD/benchmarks/bench_mailcheck" check "$ROUNDS" "$address")
    echo "$program"
    # One shell inside the namespace runs every curl and times each on its own.
    curl=$(inside sh -c '
        runs=$1 failed=0 i=0
        shift
        while [ $i -lt "$runs" ]; do
            start=$(date +%s%N)
            curl -s -I --max-time 10 -X STAT -u tester:secret "$@" >/dev/null || failed=$((failed + 1))
            end=$(date +%s%N)
            echo $(((end - start) / 1000))
            i=$((i + 1))
        done | sort -n | awk "{ t[NR] = \$1 } END { print t[int((NR + 1) / 2)] }"
    ' curl "$ROUNDS" "$@")
    echo "curl $* -X STAT as a process, median of $ROUNDS: $curl us"
    median=$(echo "$program" | sed -n 's/.*median of [0-9]*: \([0-9]*\) us.*/\1/p')
    awk -v p="$median" -v c="$curl" 'BEGIN { printf "ratio of medians, program / curl: %.2f\n", p / c }'
}

compare 127.0.0.1 pop3://127.0.0.1/
"$PEERS/pop3srv-stop.sh" "$DIR/dovecot"

"$PEERS/tls-certs.sh" "$DIR/certs"
"$PEERS/pop3srv-start.sh" "$NS" "$DIR/dovecot" 2 "$DIR/certs" >/dev/null
compare pop3s://localhost --ssl-reqd --cacert "$DIR/certs/ca.crt" pop3s://localhost/
"$PEERS/pop3srv-stop.sh" "$DIR/dovecot"
"$PEERS/pop3fault-start.sh" "$NS" "$DIR" silent >/dev/null
inside "$BUILD/benchmarks/bench_mailcheck" silent
