# The program under measure and its idle figures, shared by the start-up benchmarks. Source it.

# bench_program NAME BUILD_DIR: APP and SHIM (the preloaded virtual clock) of the build, both
# checked; W a fresh work folder; stop_kronvik ends the copy whose pid is in PID.
bench_program() {
    APP=$2/kronvik
    SHIM=$2/tests/peers/libtimeshim.so
    [ -x "$APP" ] || { echo "$1: $APP not built" >&2; exit 1; }
    [ -r "$SHIM" ] || { echo "$1: $SHIM not built (target timeshim)" >&2; exit 1; }
    W=$(mktemp -d /tmp/kronvik-bench.XXXXXX)
    PID=""
}

stop_kronvik() {
    [ -n "$PID" ] || return 0
    kill -s TERM "$PID" 2>/dev/null
    wait "$PID" 2>/dev/null
    PID=""
}

# idle_switches PID: "THREAD_NAME COUNT" for each thread of process PID, COUNT its context
# switches (voluntary and not); the thread name's blanks become underscores.
idle_switches() {
    for _s in /proc/"$1"/task/*/status; do
        awk '$1 == "Name:" { $1 = ""; gsub(/^ +/, ""); gsub(/ /, "_"); name = $0 }
             $1 == "voluntary_ctxt_switches:" || $1 == "nonvoluntary_ctxt_switches:" { n += $2 }
             END { print name, n + 0 }' "$_s" 2>/dev/null
    done
}

# idle_report PID WHERE WORKDIR: leaves process PID alone for 10 s, then prints its resident
# memory, its threads and how often they woke up, "idle WHERE: ...".
idle_report() {
    idle_switches "$1" >"$3/switches.before"
    sleep 10
    idle_switches "$1" >"$3/switches.after"
    _rss=$(awk '$1 == "VmRSS:" { print $2 }' /proc/"$1"/status)
    _threads=$(ls /proc/"$1"/task | wc -l)
    echo "idle $2: VmRSS ${_rss} kB, ${_threads} threads"
    # Threads are told apart by their order in /proc, which is their creation order.
    paste -d ' ' "$3/switches.before" "$3/switches.after" | awk -v where="$2" '
        { d = $4 - $2; total += d; line = line sprintf(" %s %.1f,", $1, d / 10) }
        END { sub(/,$/, "", line); printf "idle %s: %.1f wake-ups per second over 10 s (context switches of all threads; per thread:%s)\n", where, total / 10, line }'
}
