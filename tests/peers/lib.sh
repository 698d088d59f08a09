# Helpers shared by the test peers; sourced, not run.

# alive PID: the process exists and is not a zombie (an unreaped child still has a /proc entry).
alive() {
    [ -r "/proc/$1/stat" ] && ! awk '{ exit ($3 == "Z") ? 0 : 1 }' "/proc/$1/stat" 2>/dev/null
}

# stop_pid PID: asks the process to end, waits up to 2 s, then kills it. A process started
# with setsid is stopped with its whole group, which holds only what it forked itself.
stop_pid() {
    target=$1
    [ "$(ps -o pgid= -p "$1" 2>/dev/null | tr -d ' ')" = "$1" ] && target=-$1
    kill -s TERM -- "$target" 2>/dev/null || return 0
    i=0
    while [ $i -lt 100 ] && alive "$1"; do
        sleep 0.02
        i=$((i + 1))
    done
    kill -s KILL -- "$target" 2>/dev/null || true
}

# stop_pidfile FILE: stops the process whose pid FILE holds and removes FILE.
stop_pidfile() {
    [ -r "$1" ] || return 0
    stop_pid "$(cat "$1")"
    rm -f "$1"
}

# wait_listening NS PORT PID LOG: waits up to 5 s for a TCP listener on PORT inside NS.
# Fails early, showing LOG, when PID ends first.
wait_listening() {
    i=0
    while [ $i -lt 100 ]; do
        ip netns exec "$1" ss -Hltn "sport = :$2" | grep -q LISTEN && return 0
        if ! alive "$3"; then
            echo "server on port $2 ended while starting:" >&2
            cat "$4" >&2
            return 1
        fi
        sleep 0.05
        i=$((i + 1))
    done
    echo "nothing listens on port $2 after 5 s" >&2
    stop_pid "$3"
    return 1
}
