#!/bin/sh
# usage: pop3srv-start.sh NS DIR [MESSAGES]
# Starts dovecot's POP3 server on 127.0.0.1:110 inside the network namespace NS, with a private
# configuration under DIR: one user "tester", password "secret", whose maildir
# (DIR/home/tester/Maildir) holds MESSAGES small messages (default 2). A wrong password gets
# "-ERR" at once. Prints the master's pid, which DIR/pop3srv.pid keeps for pop3srv-stop.sh;
# dovecot logs to DIR/dovecot.log.
set -eu
. "$(dirname "$0")/lib.sh"
NS=$1 DIR=$2 MESSAGES=${3:-2}

rm -rf "$DIR/home"
mkdir -p "$DIR/run" "$DIR/state" "$DIR/home/tester/Maildir/new" "$DIR/home/tester/Maildir/cur" \
    "$DIR/home/tester/Maildir/tmp"
cat >"$DIR/dovecot.conf" <<CONF
base_dir = $DIR/run
state_dir = $DIR/state
instance_name = kronvik-test-$$
log_path = $DIR/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = no
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
    address = 127.0.0.1
    port = 110
  }
  inet_listener pop3s {
    port = 0
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
