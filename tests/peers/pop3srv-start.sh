#!/bin/sh
# usage: pop3srv-start.sh NS DIR [MESSAGES [CERTS]]
# Starts dovecot's POP3 server on 127.0.0.1:110 inside the network namespace NS, with a private
# configuration under DIR: one user "tester", password "secret", whose maildir
# (DIR/home/tester/Maildir) holds MESSAGES small messages (default 2). A wrong password gets
# "-ERR" at once. Prints the master's pid, which DIR/pop3srv.pid keeps for pop3srv-stop.sh;
# dovecot logs to DIR/dovecot.log.
# With CERTS (a folder that tls-certs.sh filled) TLS is required, by STLS on 110 or on 995, on
# 127.0.0.1, .3 and .4; the certificate shown is good.crt to SNI "localhost", expired.crt on
# 127.0.0.3, self.crt on 127.0.0.4 and wrong.crt otherwise.
set -eu
. "$(dirname "$0")/lib.sh"
NS=$1 DIR=$2 MESSAGES=${3:-2} CERTS=${4:-}

addresses=127.0.0.1 tls_port=0 ssl="ssl = no"
if [ -n "$CERTS" ]; then
    addresses="127.0.0.1 127.0.0.3 127.0.0.4" tls_port=995
    ssl="ssl = required
ssl_key = <$CERTS/server.key
ssl_cert = <$CERTS/wrong.crt
local_name localhost {
  ssl_cert = <$CERTS/good.crt
}
local 127.0.0.3 {
  ssl_cert = <$CERTS/expired.crt
}
local 127.0.0.4 {
  ssl_cert = <$CERTS/self.crt
}"
fi

rm -rf "$DIR/home"
mkdir -p "$DIR/run" "$DIR/state" "$DIR/home/tester/Maildir/new" "$DIR/home/tester/Maildir/cur" \
    "$DIR/home/tester/Maildir/tmp"
cat >"$DIR/dovecot.conf" <<CONF
base_dir = $DIR/run
state_dir = $DIR/state
instance_name = kronvik-test-$$
log_path = $DIR/dovecot.log
protocols = pop3
listen = $addresses
$ssl
disable_plaintext_auth = no
auth_mechanisms = plain
auth_failure_delay = 0
mail_location = maildir:~/Maildir
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $DIR/users
}
userdb {
  driver = static
  args = uid=nobody gid=nogroup home=$DIR/home/%u
}
service pop3-login {
  inet_listener pop3 {
    address = $addresses
    port = 110
  }
  inet_listener pop3s {
    address = $addresses
    port = $tls_port
  }
}
# Without this, failed logins slow the next ones down to seconds.
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
CONF
echo 'tester:{PLAIN}secret' >"$DIR/users"
# The auth and mail processes do not run as root: a 0700 DIR (as mktemp -d makes) would give
# "Temporary authentication failure".
chmod 755 "$DIR"
chmod 644 "$DIR/users"
i=1
while [ "$i" -le "$MESSAGES" ]; do
    "$(dirname "$0")/pop3srv-deliver.sh" "$DIR" "test $i"
    i=$((i + 1))
done
ip netns exec "$NS" setsid /usr/sbin/dovecot -F -c "$DIR/dovecot.conf" >>"$DIR/stderr.log" 2>&1 &
pid=$!
echo "$pid" >"$DIR/pop3srv.pid"
wait_listening "$NS" 110 "$pid" "$DIR/stderr.log" || { cat "$DIR/dovecot.log" >&2 || true; rm -f "$DIR/pop3srv.pid"; exit 1; }
echo "$pid"
