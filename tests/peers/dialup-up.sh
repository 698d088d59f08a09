#!/bin/sh
# usage: dialup-up.sh NS IF LOCAL PEER STATEDIR
# A dial-up link inside the network namespace NS: a tun device named IF, held open by socat
# (its carrier), with the point-to-point address LOCAL peer PEER (LOCAL "none": no address), up
# and running. The holder's pid is kept in STATEDIR/IF.pid for dialup-down.sh.
set -eu
NS=$1 IF=$2 LOCAL=$3 PEER=$4 DIR=$5
mkdir -p "$DIR"
# setsid: the holder is a group of its own, which dialup-down.sh ends as a whole.
ip netns exec "$NS" setsid socat -u "TUN,tun-name=$IF,tun-type=tun,iff-no-pi" /dev/null >"$DIR/$IF.log" 2>&1 &
echo $! >"$DIR/$IF.pid"
i=0
until ip -n "$NS" link show "$IF" >/dev/null 2>&1; do
    i=$((i + 1))
    [ $i -le 100 ] || { echo "no $IF after 2 s:" >&2; cat "$DIR/$IF.log" >&2; exit 1; }
    sleep 0.02
done
[ "$LOCAL" = none ] || ip -n "$NS" addr add "$LOCAL" peer "$PEER" dev "$IF"
ip -n "$NS" link set "$IF" up
