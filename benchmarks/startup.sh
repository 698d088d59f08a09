#!/bin/bash
# usage: startup.sh BUILD_DIR [RUNS]
# The real program on a private X desktop, with a timeserver stored so that it starts straight
# into the tray: the time from exec to its icon being embedded in the tray (median of RUNS,
# default 5), then, with one copy idle for 10 s, its resident memory and how often its threads
# wake up. Sound goes to a file, so no sound card is needed; the clock is out of reach (the
# preloaded virtual clock, and CAP_SYS_TIME dropped when run as root).
set -u
BUILD=$(cd "$1" && pwd)
RUNS=${2:-5}
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/../tests/e2e/desktop.sh"
. "$HERE/idle.sh"
bench_program startup "$BUILD"

trap 'stop_kronvik; desktop_stop; rm -rf "$W"' EXIT
trap 'exit 1' INT TERM HUP

desktop_start "$W"

export XDG_CONFIG_HOME=$W/config
mkdir -p "$XDG_CONFIG_HOME/kronvik"
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Kronvik\\Server]\n"Address"="127.0.0.1"\n' >"$XDG_CONFIG_HOME/kronvik/user.reg"
sed "s|@CAPTURE_FILE@|$W/sound.wav|" "$HERE/../tests/peers/asoundrc-capture" >"$W/asoundrc"
export ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:$W/asoundrc

DROP=()
[ "$(id -u)" -eq 0 ] && DROP=(setpriv --bounding-set=-sys_time --inh-caps=-sys_time)

now_ns() { date +%s%N; }

# start_kronvik: starts the program and waits, polling every 10 ms for at most 10 s, until its
# icon sits in the tray; STARTUP_MS is then the milliseconds from the start. Fails when none came.
start_kronvik() {
    local start polls=0
    start=$(now_ns)
    LD_PRELOAD=$SHIM TIMESHIM_LOG=$W/clock.log "${DROP[@]}" "$APP" >>"$W/kronvik.out" 2>&1 &
    PID=$!
    while [ $polls -lt 1000 ] && [ $(($(now_ns) - start)) -lt 10000000000 ]; do
        if [ -n "$(tray_icon_geometry kronvik)" ]; then
            STARTUP_MS=$((($(now_ns) - start) / 1000000))
            return 0
        fi
        sleep 0.01
        polls=$((polls + 1))
    done
    return 1
}

times=()
for ((run = 0; run < RUNS; run++)); do
    start_kronvik || desktop_fail "no tray icon within 10 s (see $W/kronvik.out)"
    times+=("$STARTUP_MS")
    stop_kronvik
    # The next copy must not find this one's icon still embedded.
    waitfor '[ -z "$(tray_icon_geometry kronvik)" ]' || desktop_fail "the icon stayed after the program ended"
done
median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
echo "start to tray icon: ${median} ms median of ${RUNS} runs (${times[*]} ms; polled every 10 ms)"

start_kronvik || desktop_fail "no tray icon within 10 s (see $W/kronvik.out)"
idle_report "$PID" "in the XEmbed tray" "$W"
stop_kronvik
[ ! -s "$W/clock.log" ] || echo "note: the program tried to set the clock: $(cat "$W/clock.log")" >&2
