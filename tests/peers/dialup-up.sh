#!/bin/sh
# usage: dialup-up.sh NS IF LOCAL PEER DIR
# Dials up: a real point-to-point link IF inside the network namespace NS, a tun device held open
# by socat (so that it has a carrier), with the address LOCAL and the far end PEER ("none" for
# LOCAL: a link without an address), brought up. The holder's pid goes to DIR/IF.pid for
# dialup-down.sh; this kernel has no PPP, and a tun link is what pppd's ppp0 looks like.
set -eu
. "$(dirname "$0")/lib.sh"
NS=$1 IF=$2 LOCAL=$3 PEER=$4 DIR=$5
mkdir -p "$DIR"
ip netns exec "$NS" setsid socat -u "TUN,tun-name=$IF,tun-type=tun,iff-no-pi" /dev/null >"$DIR/$IF.log" 2>&1 &
echo $! >"$DIR/$IF.pid"
i=0
until ip -n "$NS" link show "$IF" >/dev/null 2>&1; do
    i=$((i + 1))
    if [ $i -gt 250 ] || ! alive "$(cat "$DIR/$IF.pid")"; then # up to 5 s
        echo "no link $IF:" >&2
        cat "$DIR/$IF.log" >&2
        stop_pidfile "$DIR/$IF.pid"
        exit 1
    fi
    sleep 0.02
done
[ "$LOCAL" = none ] || ip -n "$NS" addr add "$LOCAL" peer "$PEER" dev "$IF"
ip -n "$NS" link set "$IF" up
