#!/bin/sh
# usage: netns-delete.sh NS
# Ends the processes still inside NS (only the tests start any there) and deletes NS.
# Does nothing when NS does not exist, so that cleanup traps may call it twice.
set -eu
NS=$1
ip netns list | grep -q "^$NS\( \|\$\)" || exit 0
pids() { ip netns pids "$NS" 2>/dev/null || true; }
for p in $(pids); do kill -s TERM "$p" 2>/dev/null || true; done
i=0
while [ $i -lt 100 ] && [ -n "$(pids)" ]; do # up to 2 s
    sleep 0.02
    i=$((i + 1))
done
for p in $(pids); do kill -s KILL "$p" 2>/dev/null || true; done
ip netns del "$NS"
