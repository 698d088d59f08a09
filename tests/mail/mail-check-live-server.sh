#!/bin/sh
# usage: mail-check-live-server.sh TEST_EXECUTABLE
# Runs the live-server mail check test inside a private network namespace, once per server that
# its functions expect: dovecot with two messages behind a dial-up link, the same without the
# link, and each kind of faulty server; then over TLS, against dovecot with the certificates of
# tls-certs.sh and against servers that stall in the handshake or answer it with plain text.
# Whatever happens, every server and the link are stopped
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

# refused ADDRESS REASON [FINGERPRINT]: the check gives up on the server for REASON, and dovecot's
# log shows that no user name, so no password either, reached it.
refused() {
    : >"$DIR/dovecot/dovecot.log"
    run secureServer ADDRESS="$1" REASON="$2" FINGERPRINT="${3:-}"
    i=0
    while [ $i -lt 100 ] && [ "$(grep -c isconnected "$DIR/dovecot/dovecot.log")" -lt 2 ]; do
        sleep 0.05
        i=$((i + 1))
    done
    grep -q isconnected "$DIR/dovecot/dovecot.log" && ! grep 'user=<tester>' "$DIR/dovecot/dovecot.log"
}

# run FUNCTION [VARIABLE=VALUE...]: a test function inside the namespace, with no way to reach the clock.
run() {
    function=$1
    shift
    ip netns exec "$NS" env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$DIR/xdg" POP3_DIR="$DIR/dovecot" \
        SSL_CERT_FILE="$DIR/certs/ca.crt" "$@" \
        setpriv --bounding-set=-sys_time --inh-caps=-sys_time "$TEST" "$function"
}

"$PEERS/netns-create.sh" "$NS"
"$PEERS/dialup-up.sh" "$NS" ppp0 192.0.2.2 192.0.2.1 "$DIR"

"$PEERS/pop3srv-start.sh" "$NS" "$DIR/dovecot" 2 >/dev/null
run announcesNewMailOnce
run wrongPasswordEndsSilently
refused pop3://127.0.0.1 "does not offer STLS"
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
# A handshake that stalls ends at the deadline without a word; plain text instead of one is
# a handshake error.
"$PEERS/pop3fault-start.sh" "$NS" "$DIR" silent >/dev/null
run faultyServerEndsSilently FAULT=silent ADDRESS=pop3s://127.0.0.1:110
"$PEERS/faultsrv-stop.sh" "$DIR" 110
"$PEERS/pop3fault-start.sh" "$NS" "$DIR" err-greeting >/dev/null
run secureServer ADDRESS=pop3s://127.0.0.1:110 REASON="handshake failed"
"$PEERS/faultsrv-stop.sh" "$DIR" 110

"$PEERS/tls-certs.sh" "$DIR/certs"
"$PEERS/pop3srv-start.sh" "$NS" "$DIR/dovecot" 2 "$DIR/certs" >/dev/null
run secureServer ADDRESS=pop3s://localhost
run secureServer ADDRESS=pop3://localhost
pin=$(cat "$DIR/certs/self.sha256")
run secureServer ADDRESS="pop3s://127.0.0.4#sha256=$(openssl x509 -in "$DIR/certs/self.crt" -noout -fingerprint -sha256 | cut -d= -f2)"
refused pop3s://127.0.0.1 "made out to another name"
refused pop3s://127.0.0.3 "expired"
refused pop3s://127.0.0.4 "unknown issuer" "$pin"
refused "pop3s://localhost#sha256=$pin" "not the pinned one"
