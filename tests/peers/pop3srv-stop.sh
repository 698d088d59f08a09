#!/bin/sh
# usage: pop3srv-stop.sh DIR
# Stops the dovecot that pop3srv-start.sh started with the same DIR, with all its processes.
set -eu
. "$(dirname "$0")/lib.sh"
stop_pidfile "$1/pop3srv.pid"
