#!/bin/sh
# usage: dialup-down.sh NS IF STATEDIR
# Hangs up the link that dialup-up.sh made: its holder ends and the device goes with it.
# Does nothing when there is no such link, so that cleanup traps may call it twice.
set -eu
. "$(dirname "$0")/lib.sh"
NS=$1 IF=$2 DIR=$3
stop_pidfile "$DIR/$IF.pid"
i=0
while [ $i -lt 100 ] && ip -n "$NS" link show "$IF" >/dev/null 2>&1; do
    sleep 0.02
    i=$((i + 1))
done
ip -n "$NS" link del "$IF" 2>/dev/null || true
