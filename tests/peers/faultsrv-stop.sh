#!/bin/sh
# usage: faultsrv-stop.sh DIR PORT
# Stops the faulty server that faultsrv-start.sh started with the same DIR and PORT, and
# the connections it still serves.
set -eu
. "$(dirname "$0")/lib.sh"
stop_pidfile "$1/faultsrv-$2.pid"
