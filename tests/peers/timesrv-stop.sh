#!/bin/sh
# usage: timesrv-stop.sh DIR
# Stops the time server that timesrv-start.sh started with the same DIR.
set -eu
. "$(dirname "$0")/lib.sh"
stop_pidfile "$1/timesrv.pid"
