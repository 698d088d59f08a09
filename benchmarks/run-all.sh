#!/bin/sh
# usage: run-all.sh BUILD_DIR
# Runs every benchmark of BUILD_DIR and prints its figures: each bench_* executable with its
# default arguments, then the scripts (the time query and the mail check inside network
# namespaces, which need root; the program's start and idle figures with an XEmbed tray and with a
# StatusNotifierItem panel, the hand-over of a second copy and the About box, on a private X
# desktop). Figures only; nothing is asserted. Ends with a summary table in the shape of
# docs/performance.md's, and non-zero when a benchmark could not run.
set -u
[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
BUILD=$(cd "$1" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
failed=0

# Nothing run here may reach the system's time service.
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent
LOG=$(mktemp)
trap 'rm -f "$LOG" "$LOG.status"' EXIT

run_all() {
    # Nothing run here may reach the clock.
    DROP=""
    [ "$(id -u)" -eq 0 ] && DROP="setpriv --bounding-set=-sys_time --inh-caps=-sys_time"

    section() { printf '\n== %s\n' "$1"; }

    for bench in "$BUILD"/benchmarks/bench_*; do
        if [ ! -f "$bench" ] || [ ! -x "$bench" ]; then continue; fi
        name=$(basename "$bench")
        # Run inside a namespace; timequery.sh, mailcheck.sh and dialup.sh set that up.
        case $name in bench_timequery | bench_mailcheck | bench_dialup) continue ;; esac
        section "$name"
        $DROP "$bench" || { echo "$name failed" >&2; failed=1; }
    done

    # in_namespace SCRIPT TITLE: a script that makes its own network namespace, which needs root.
    in_namespace() {
        section "$1 ($2)"
        if [ "$(id -u)" -eq 0 ]; then
            $DROP "$HERE/$1" "$BUILD" || { echo "$1 failed" >&2; failed=1; }
        else
            echo "skipped: needs root for a network namespace"
        fi
    }
    in_namespace timequery.sh "inetd's time service in a network namespace"
    in_namespace mailcheck.sh "dovecot and a silent server in a network namespace"
    in_namespace dialup.sh "point-to-point links and the program in a network namespace"

    section "startup.sh (the program on a private X desktop)"
    $DROP "$HERE/startup.sh" "$BUILD" || { echo "startup.sh failed" >&2; failed=1; }

    section "sni-startup.sh (the program on a private desktop whose panel hosts StatusNotifierItems)"
    $DROP "$HERE/sni-startup.sh" "$BUILD" || { echo "sni-startup.sh failed" >&2; failed=1; }

    section "handover.sh (a second copy and the About box on a private X desktop)"
    $DROP "$HERE/handover.sh" "$BUILD" || { echo "handover.sh failed" >&2; failed=1; }

    echo $failed >"$LOG.status"
}

# value SED_EXPRESSION: a figure taken out of the run's output, or "not run".
value() { _v=$(sed -n "$1" "$LOG" | head -n 1); echo "${_v:-not run}"; }

summary() {
    printf '\n== Summary (the table of docs/performance.md)\n\n'
    echo "| figure | Kronvik | compared with |"
    echo "|---|---|---|"
    echo "| start to tray icon, XEmbed tray | $(value 's/^start to tray icon: \([0-9]*\) ms median.*/\1 ms/p') | StatusNotifierItem panel: item registered $(value "s/^panel start to the program's item registered: \([0-9]*\) ms.*/\1 ms/p") after the panel's start |"
    echo "| memory, idle in the tray | $(value 's/^idle in the XEmbed tray: VmRSS \([0-9]*\) kB, \([0-9]*\) threads.*/\1 kB, \2 threads/p') | as a StatusNotifierItem: $(value 's/^idle as a StatusNotifierItem: VmRSS \([0-9]*\) kB.*/\1 kB/p') |"
    echo "| wake-ups, idle in the tray | $(value 's/^idle in the XEmbed tray: \([0-9.]*\) wake-ups per second.*/\1 per second/p') | the bare Qt event loop: $(value 's/^idle event loop *\([0-9.]*\) wake-ups.s.*/\1 per second/p') |"
    echo "| time query, GettimeClick to clock call | $(value 's/^Kronvik, GettimeClick to clock call: *[0-9.]* us per query (median \([0-9.]*\).*/\1 us median/p') | blocking socket $(value 's/^blocking connect + read 4 + close: *[0-9.]* us per query (median \([0-9.]*\).*/\1 us/p'); rdate -p process $(value 's/^rdate -p as a process: \([0-9]*\) us per run.*/\1 us/p') |"
    echo "| SNTP query, GettimeClick to clock call | $(value 's/^Kronvik SNTP, GettimeClick to clock call: *[0-9.]* us per query (median \([0-9.]*\).*/\1 us median/p'); offset left $(value 's/^offset left after setting: [0-9.]* ms mean, \([0-9.]*\) ms median.*/\1 ms median/p') | chronyd -Q process $(value 's/^chronyd -Q as a process: \([0-9]*\) us.*/\1 us/p') |"
    echo "| mail check, USER to QUIT | $(value 's/^mailbox check of [^p][^,]*, median of [0-9]*: \([0-9]*\) us.*/\1 us median/p'); over pop3s $(value 's/^mailbox check of pop3s:[^,]*, median of [0-9]*: \([0-9]*\) us.*/\1 us/p') | curl STAT process $(value 's/^curl pop3:.* as a process, median of [0-9]*: \([0-9]*\) us/\1 us/p') (ratio $(value 's/^ratio of medians, program \/ curl: \([0-9.]*\)/\1/p')); over pop3s $(value 's/^curl --ssl-reqd .* as a process, median of [0-9]*: \([0-9]*\) us/\1 us/p') |"
    echo "| watcher tick (IsConnected) | $(value 's/^IsConnected with \([^:]*\): *[0-9.]* us per call (median \([0-9.]*\).*/\2 us median with \1/p') | link up to clock call $(value 's/.*link up -> clock call mean \([0-9]*\) ms.*/\1 ms mean/p') (period 5000 ms) |"
    echo "| new-mail animation, Interval 1000 ms | $(value 's/^animating, Interval 1000 ms *\([0-9.]*\) wake-ups.s, processor \([0-9.]*\) %.*/\1 wake-ups per second, \2 % of a core/p') | Interval 150 ms: $(value 's/^animating, Interval 150 ms *\([0-9.]*\) wake-ups.s, processor \([0-9.]*\) %.*/\1 per second, \2 %/p') |"
    echo "| settings file, 50000 values | $(value 's/^50000 values in one key ([0-9.]* MB): whole file parsed in \([0-9]*\) ms; one store read in \([0-9]*\) ms.*/parsed in \1 ms, one read \2 ms/p') | 50000 keys: $(value 's/^50000 keys ([0-9.]* MB): whole file parsed in \([0-9]*\) ms; one store read in \([0-9]*\) ms.*/\1 ms, \2 ms/p') |"
}

run_all | tee "$LOG"
summary
exit "$(cat "$LOG.status" 2>/dev/null || echo 1)"
