#!/bin/sh
# usage: remote-access-live.sh TEST_EXECUTABLE
# Runs the remote-access test on real interfaces inside a private network namespace; every link
# it makes dies with the namespace, which is deleted whatever happens.
set -eu
[ "$(id -u)" -eq 0 ] || { echo "skipped: needs root for network namespaces"; exit 77; }
TEST=$1
PEERS=$(cd "$(dirname "$0")/../peers" && pwd)
NS=kvdialup-$$
trap '"$PEERS/netns-delete.sh" "$NS"' EXIT
trap 'exit 1' INT TERM HUP
"$PEERS/netns-create.sh" "$NS"
ip netns exec "$NS" env KRONVIK_NETNS="$NS" setpriv --bounding-set=-sys_time --inh-caps=-sys_time "$TEST"
