#!/bin/sh
# usage: run-all.sh BUILD_DIR
# Runs every benchmark of BUILD_DIR and prints its figures: each bench_* executable with its
# default arguments, then the scripts (the time query and the mail check inside network
# namespaces, which need root; the program's start and idle figures with an XEmbed tray and with a
# StatusNotifierItem panel, the hand-over of a second copy and the About box, on a private X
# desktop). Figures only; nothing is asserted. Ends non-zero when a benchmark could not run.
set -u
[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
BUILD=$(cd "$1" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
failed=0

# Nothing run here may reach the clock, nor the system's time service.
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent
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

exit $failed
