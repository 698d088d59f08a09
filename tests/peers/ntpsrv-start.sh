#!/bin/sh
# usage: ntpsrv-start.sh NS DIR OFFSET CHRONYD
# Starts chronyd (unpacked from its Debian package, see scripts/install-deps.sh) as an NTP server
# at stratum 2 on 127.0.0.1:123 inside the network namespace NS, serving its own clock moved on
# by OFFSET (libfaketime's form, e.g. +100d); -x: it never sets a clock. Prints its pid, which
# DIR/ntpsrv.pid keeps for stop_pidfile; its output goes to DIR/ntpsrv.log.
set -eu
. "$(dirname "$0")/lib.sh"
NS=$1 DIR=$2 OFFSET=$3 CHRONYD=$4
[ -x "$CHRONYD" ] || { echo "$CHRONYD missing: run scripts/install-deps.sh" >&2; exit 1; }
libfaketime=$(ls /usr/lib/*/faketime/libfaketime.so.1 2>/dev/null | head -n 1)

mkdir -p "$DIR"
printf '%s\n' 'local stratum 2' 'allow 127.0.0.0/8' 'bindaddress 127.0.0.1' 'port 123' 'cmdport 0' 'user root' \
    "pidfile $DIR/chronyd.pid" >"$DIR/chrony.conf"
ip netns exec "$NS" env LD_PRELOAD="$libfaketime" FAKETIME="$OFFSET" FAKETIME_DONT_FAKE_MONOTONIC=1 \
    "$CHRONYD" -x -d -f "$DIR/chrony.conf" >"$DIR/ntpsrv.log" 2>&1 &
pid=$!
echo "$pid" >"$DIR/ntpsrv.pid"
i=0
until ip netns exec "$NS" ss -Hlun 'sport = :123' | grep -q .; do
    i=$((i + 1))
    if [ $i -gt 100 ] || ! alive "$pid"; then
        cat "$DIR/ntpsrv.log" >&2
        stop_pidfile "$DIR/ntpsrv.pid"
        exit 1
    fi
    sleep 0.05
done
echo "$pid"
