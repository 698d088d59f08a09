#!/bin/sh
# usage: timesrv-start.sh NS DIR 'YYYY-mm-dd HH:MM:SS'
# Starts inetd's built-in RFC 868 time service on port 37 of every address inside the network
# namespace NS; every answer is the given UTC time, to the second. Prints inetd's pid, which
# DIR/timesrv.pid keeps for timesrv-stop.sh; inetd's output goes to DIR/timesrv.log.
set -eu
. "$(dirname "$0")/lib.sh"
NS=$1 DIR=$2 TIME=$3

libfaketime=$(ls /usr/lib/*/faketime/libfaketime.so.1 2>/dev/null | head -n 1)
[ -n "$libfaketime" ] || { echo "libfaketime not found (package faketime)" >&2; exit 1; }

mkdir -p "$DIR"
printf 'time\tstream\ttcp\tnowait\troot\tinternal\n' >"$DIR/inetd.conf"

# libfaketime is preloaded by hand rather than through the faketime wrapper, which forks and
# would leave inetd running when stopped. An absolute FAKETIME without '@' freezes the clock
# (with '@' it ticks on from the start); TZ=UTC reads the given time as UTC. Monotonic clocks
# stay real so that inetd's own waits behave. -i keeps inetd in the foreground.
ip netns exec "$NS" env TZ=UTC LD_PRELOAD="$libfaketime" FAKETIME="$TIME" FAKETIME_DONT_FAKE_MONOTONIC=1 \
    /usr/sbin/inetd -d -i "$DIR/inetd.conf" >"$DIR/timesrv.log" 2>&1 &
pid=$!
echo "$pid" >"$DIR/timesrv.pid"
wait_listening "$NS" 37 "$pid" "$DIR/timesrv.log" || { rm -f "$DIR/timesrv.pid"; exit 1; }
echo "$pid"
