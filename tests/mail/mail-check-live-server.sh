#!/bin/sh
# usage: mail-check-live-server.sh TEST_EXECUTABLE
# Runs the live-server mail check test inside a private network namespace, once per server that
# its functions expect: dovecot with two messages behind a dial-up link, the same without the
# link, and each kind of faulty server. Whatever happens, every server and the link are stopped
# by pid and the namespace is deleted.
set -eu
[ "$(id -u)" -eq 0 ] || { echo "skipped: needs root for network namespaces"; exit 77; }
TEST=$1
PEERS=$(cd "$(dirname "$0")/../peers" && pwd)

NS=kvmail-$$
DIR=$(mktemp -d)
# dovecot's mail processes run as nobody and must reach the maildir below.
chmod 755 "$DIR"
mkdir -m 700 "$DIR/xdg"
cleanup() {
    "$PEERS/pop3srv-stop.sh" "$DIR/dovecot" || true
    "$PEERS/faultsrv-stop.sh" "$DIR" 110 || true
    "$PEERS/dialup-down.sh" "$NS" ppp0 "$DIR" || true
    "$PEERS/netns-delete.sh" "$NS" || true
    rm -rf "$DIR"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# run FUNCTION [VARIABLE=VALUE...]: a test function inside the namespace, with no way to reach the clock.
run() {
    function=$1
    shift
    ip netns exec "$NS" env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$DIR/xdg" POP3_DIR="$DIR/dovecot" "$@" \
        setpriv --bounding-set=-sys_time --inh-caps=-sys_time "$TEST" "$function"
}

"$PEERS/netns-create.sh" "$NS"
"$PEERS/dialup-up.sh" "$NS" ppp0 192.0.2.2 192.0.2.1 "$DIR"

"$PEERS/pop3srv-start.sh" "$NS" "$DIR/dovecot" 2 >/dev/null
run announcesNewMailOnce
run wrongPasswordEndsSilently
"$PEERS/dialup-down.sh" "$NS" ppp0 "$DIR"
run noLinkNoContact
"$PEERS/pop3srv-stop.sh" "$DIR/dovecot"

"$PEERS/dialup-up.sh" "$NS" ppp0 192.0.2.2 192.0.2.1 "$DIR"
for fault in err-greeting silent stall big split letters no-numbers huge close reset; do
    echo "== $fault"
    "$PEERS/pop3fault-start.sh" "$NS" "$DIR" "$fault" >/dev/null
    run faultyServerEndsSilently FAULT="$fault"
    "$PEERS/faultsrv-stop.sh" "$DIR" 110
done
