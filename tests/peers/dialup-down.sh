#!/bin/sh
# usage: dialup-down.sh NS IF DIR
# Hangs up the link that dialup-up.sh made with the same DIR: its holder ends and the link
# vanishes with it. Does nothing when there is no such link.
set -eu
. "$(dirname "$0")/lib.sh"
NS=$1 IF=$2 DIR=$3
stop_pidfile "$DIR/$IF.pid"
i=0
while [ $i -lt 250 ] && ip -n "$NS" link show "$IF" >/dev/null 2>&1; do # up to 5 s
    sleep 0.02
    i=$((i + 1))
done
ip -n "$NS" link del "$IF" 2>/dev/null || true
