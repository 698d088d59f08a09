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

# Nothing run here may reach the clock.
DROP=""
[ "$(id -u)" -eq 0 ] && DROP="setpriv --bounding-set=-sys_time --inh-caps=-sys_time"

section() { printf '\n== %s\n' "$1"; }

for bench in "$BUILD"/benchmarks/bench_*; do
    if [ ! -f "$bench" ] || [ ! -x "$bench" ]; then continue; fi
    name=$(basename "$bench")
    # Run against servers inside a namespace; timequery.sh and mailcheck.sh set those up.
    [ "$name" = bench_timequery ] || [ "$name" = bench_mailcheck ] && continue
    section "$name"
    $DROP "$bench" || { echo "$name failed" >&2; failed=1; }
done

section "timequery.sh (inetd's time service in a network namespace)"
if [ "$(id -u)" -eq 0 ]; then
    $DROP "$HERE/timequery.sh" "$BUILD" || { echo "timequery.sh failed" >&2; failed=1; }
else
    echo "skipped: needs root for a network namespace"
fi

section "mailcheck.sh (dovecot and a silent server in a network namespace)"
if [ "$(id -u)" -eq 0 ]; then
    $DROP "$HERE/mailcheck.sh" "$BUILD" || { echo "mailcheck.sh failed" >&2; failed=1; }
else
    echo "skipped: needs root for a network namespace"
fi

section "startup.sh (the program on a private X desktop)"
$DROP "$HERE/startup.sh" "$BUILD" || { echo "startup.sh failed" >&2; failed=1; }

section "sni-startup.sh (the program on a private desktop whose panel hosts StatusNotifierItems)"
$DROP "$HERE/sni-startup.sh" "$BUILD" || { echo "sni-startup.sh failed" >&2; failed=1; }

section "handover.sh (a second copy and the About box on a private X desktop)"
$DROP "$HERE/handover.sh" "$BUILD" || { echo "handover.sh failed" >&2; failed=1; }

exit $failed
