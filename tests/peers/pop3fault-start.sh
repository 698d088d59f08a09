#!/bin/sh
# usage: pop3fault-start.sh NS DIR MODE
# A POP3 server that misbehaves, on port 110 of every address inside the network namespace NS,
# for any number of connections. It answers "+OK" to every command except as MODE says:
#   err-greeting  greets with "-ERR"
#   silent        never greets; the connection stays open until the client closes it
#   stall         answers the user name, then nothing more
#   big           greets with a line of several kilobytes
#   split         sends the STAT reply in two parts a second apart ("+OK 2", then " 320")
#   letters       answers STAT with "+OK two 320"
#   no-numbers    answers STAT with "+OK"
#   huge          answers STAT with figures past 32 bits
#   close         greets and closes the connection
#   reset         greets, then breaks the connection off (a reset) when the user name comes
# Prints the server's pid, which DIR/faultsrv-110.pid keeps for faultsrv-stop.sh DIR 110; its
# output goes to DIR/faultsrv-110.log.
set -eu
. "$(dirname "$0")/lib.sh"
NS=$1 DIR=$2 MODE=$3

# In reset mode the conversation holds the connection itself (nofork), so that its end with the
# user name still unread makes the kernel break the connection off with a reset.
program=$(dirname "$0")/pop3fault-conversation.sh
[ "$MODE" = reset ] && program=$program,nofork

mkdir -p "$DIR"
ip netns exec "$NS" env MODE="$MODE" setsid socat TCP-LISTEN:110,reuseaddr,fork "EXEC:$program" \
    >"$DIR/faultsrv-110.log" 2>&1 &
pid=$!
echo "$pid" >"$DIR/faultsrv-110.pid"
wait_listening "$NS" 110 "$pid" "$DIR/faultsrv-110.log" || { rm -f "$DIR/faultsrv-110.pid"; exit 1; }
echo "$pid"
