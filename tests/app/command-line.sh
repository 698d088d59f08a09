#!/bin/bash
# The command line without a display: each row is the arguments, the exit status and a pattern
# that the first line of standard output (status 0) or of standard error must match.
# usage: command-line.sh KRONVIK
set -u
APP=$1
failed=0
while IFS='|' read -r args status pattern; do
    # shellcheck disable=SC2086
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$APP" $args >"${TMPDIR:-/tmp}/cl.$$.out" 2>"${TMPDIR:-/tmp}/cl.$$.err"
    got=$?
    stream=err
    [ "$status" = 0 ] && stream=out
    line=$(head -n 1 "${TMPDIR:-/tmp}/cl.$$.$stream")
    if [ "$got" != "$status" ] || ! [[ $line =~ $pattern ]]; then
        echo "FAIL: '$args' ended with $got, '$line' (expected $status, /$pattern/)"
        failed=1
    fi
done <<'ROWS'
--help|0|^Usage: .*kronvik \[options\]$
--version|0|^kronvik [0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$
-display :99 --version|0|^kronvik [0-9.]+$
|1|^kronvik: no display .*DISPLAY is not set
-display :99|1|^kronvik: cannot open the display ':99'$
--no-such-option|2|^kronvik: Unknown option 'no-such-option'\.$
something|2|^kronvik: Unexpected argument 'something'\.$
-display|2|^kronvik: Missing value after '-display'\.$
ROWS
rm -f "${TMPDIR:-/tmp}/cl.$$.out" "${TMPDIR:-/tmp}/cl.$$.err"
[ "$failed" = 0 ] && echo PASS
exit "$failed"
