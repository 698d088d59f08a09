#!/bin/sh
# usage: faultsrv-start.sh NS DIR MODE PORT [DELAY]
# A time server that misbehaves, on PORT of every address inside the network namespace NS,
# for any number of connections:
#   split   sends 9C BC, waits DELAY seconds (default 2), sends 44 80 and closes
#   silent  accepts and never answers; the connection stays open until the client closes it
#   linger  sends 9C BC 44 80 at once but leaves the connection open until the client closes it
#   late    waits DELAY seconds, then sends 9C BC 44 80 and closes
# (9C BC 44 80 is 1983-05-01 00:00:00 UTC.) Prints the server's pid, which DIR/faultsrv-PORT.pid
# keeps for faultsrv-stop.sh; its output goes to DIR/faultsrv-PORT.log.
set -eu
. "$(dirname "$0")/lib.sh"
NS=$1 DIR=$2 MODE=$3 PORT=$4 DELAY=${5:-2}

# The answer's shell reads the bytes from the environment: socat would take the backslashes
# out of its own address text. Octal escapes, since the POSIX printf knows no \x.
case $MODE in
split) answer='printf $FIRST; sleep $DELAY; printf $REST' ;;
silent) answer='exec cat >/dev/null' ;;
linger) answer='printf $FIRST$REST; exec cat >/dev/null' ;;
late) answer='sleep $DELAY; printf $FIRST$REST' ;;
*)
    echo "unknown mode $MODE" >&2
    exit 2
    ;;
esac

mkdir -p "$DIR"
# setsid: socat and the children it forks per connection form one process group, which
# faultsrv-stop.sh ends as a whole.
ip netns exec "$NS" env FIRST='\234\274' REST='\104\200' DELAY="$DELAY" setsid socat "TCP-LISTEN:$PORT,reuseaddr,fork" "SYSTEM:$answer" \
    >"$DIR/faultsrv-$PORT.log" 2>&1 &
pid=$!
echo "$pid" >"$DIR/faultsrv-$PORT.pid"
wait_listening "$NS" "$PORT" "$pid" "$DIR/faultsrv-$PORT.log" || { rm -f "$DIR/faultsrv-$PORT.pid"; exit 1; }
echo "$pid"
