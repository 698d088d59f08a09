#!/bin/sh
# Fails unless CAP_SYS_TIME is out of this test run's reach (bit 25 of the capability sets).
bit=$((1 << 25))
field() { awk -v f="$1:" '$1 == f { print $2 }' /proc/self/status; }
for set in CapBnd CapPrm CapEff CapAmb; do
    value=$((0x$(field $set)))
    [ "$set" = CapBnd ] && [ "$(id -u)" -ne 0 ] && continue
    if [ $((value & bit)) -ne 0 ]; then
        echo "CAP_SYS_TIME is in $set: run the tests through 'make test' (it drops the capability)." >&2
        exit 1
    fi
done
case ${DBUS_SYSTEM_BUS_ADDRESS:-} in
unix:path=/nonexistent) ;;
*)
    echo "the system bus is within reach (DBUS_SYSTEM_BUS_ADDRESS): its time service could set the clock" >&2
    exit 1
    ;;
esac
echo "CAP_SYS_TIME dropped, no system bus"
