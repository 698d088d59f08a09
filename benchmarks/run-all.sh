#!/bin/sh
# usage: run-all.sh BUILD_DIR
# Runs every benchmark of BUILD_DIR and prints its figures: each bench_* executable with its
# default arguments, then the scripts (the time query inside a network namespace, which needs
# root, and the program's start and idle figures on a private X desktop). Figures only; nothing
# is asserted. Ends non-zero when a benchmark could not run.
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
    # Run inside a namespace; timequery.sh and dialup.sh set that up.
    [ "$name" = bench_timequery ] && continue
    [ "$name" = bench_dialup ] && continue
    section "$name"
    $DROP "$bench" || { echo "$name failed" >&2; failed=1; }
done

section "timequery.sh (inetd's time service in a network namespace)"
if [ "$(id -u)" -eq 0 ]; then
    $DROP "$HERE/timequery.sh" "$BUILD" || { echo "timequery.sh failed" >&2; failed=1; }
else
    echo "skipped: needs root for a network namespace"
fi

section "dialup.sh (point-to-point links and the program in a network namespace)"
if [ "$(id -u)" -eq 0 ]; then
    $DROP "$HERE/dialup.sh" "$BUILD" || { echo "dialup.sh failed" >&2; failed=1; }
else
    echo "skipped: needs root for a network namespace"
fi

section "startup.sh (the program on a private X desktop)"
$DROP "$HERE/startup.sh" "$BUILD" || { echo "startup.sh failed" >&2; failed=1; }

exit $failed
