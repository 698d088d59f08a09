#!/bin/bash
# usage: sni-startup.sh BUILD_DIR [RUNS]
# The real program on a private desktop whose panel hosts StatusNotifierItems (xfce4-panel on a
# session bus of its own), started before the panel as an autostarted program is: the time from
# the panel's start to its watcher and to the program's item being registered (median of RUNS
# panel starts, default 5), then, with the item shown and the program idle for 10 s, its
# resident memory and how often its threads wake up (compare startup.sh for the XEmbed tray).
# Sound goes to a file; the clock is out of reach (the preloaded virtual clock, and
# CAP_SYS_TIME dropped when run as root).
set -u
BUILD=$(cd "$1" && pwd)
RUNS=${2:-5}
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/../tests/e2e/desktop.sh"
. "$HERE/../tests/e2e/sni-desktop.sh"
. "$HERE/idle.sh"
bench_program sni-startup "$BUILD"

trap 'stop_kronvik; sni_desktop_stop; rm -rf "$W"' EXIT
trap 'exit 1' INT TERM HUP

sni_desktop_start "$W" nopanel
export XDG_CONFIG_HOME=$W/config
mkdir -p "$XDG_CONFIG_HOME/kronvik"
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Kronvik\\Server]\n"Address"="127.0.0.1"\n' >"$XDG_CONFIG_HOME/kronvik/user.reg"
sed "s|@CAPTURE_FILE@|$W/sound.wav|" "$HERE/../tests/peers/asoundrc-capture" >"$W/asoundrc"
export ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:$W/asoundrc

DROP=()
[ "$(id -u)" -eq 0 ] && DROP=(setpriv --bounding-set=-sys_time --inh-caps=-sys_time)
LD_PRELOAD=$SHIM TIMESHIM_LOG=$W/clock.log "${DROP[@]}" "$APP" >>"$W/kronvik.out" 2>&1 &
PID=$!
sleep 1

now_ns() { date +%s%N; }

# panel_run: starts the panel and polls every 10 ms, for at most 10 s, for its watcher and then
# the program's item; WATCHER_MS and ITEM_MS are the milliseconds from the panel's start.
panel_run() {
    local start polls=0
    WATCHER_MS=""
    start=$(now_ns)
    XDG_CONFIG_HOME="$W/home/.config" setsid xfce4-panel >>"$W/panel.log" 2>&1 &
    SNI_PANEL_PID=$!
    while [ $polls -lt 1000 ] && [ $(($(now_ns) - start)) -lt 10000000000 ]; do
        if [ -z "$WATCHER_MS" ] && sni_watcher_running; then
            WATCHER_MS=$((($(now_ns) - start) / 1000000))
        fi
        if [ -n "$WATCHER_MS" ] && [ "$(sni_items_of "$PID")" = 1 ]; then
            ITEM_MS=$((($(now_ns) - start) / 1000000))
            return 0
        fi
        sleep 0.01
        polls=$((polls + 1))
    done
    return 1
}

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

watchers=()
items=()
for ((run = 0; run < RUNS; run++)); do
    panel_run || desktop_fail "no item within 10 s of the panel's start (see $W/kronvik.out)"
    watchers+=("$WATCHER_MS")
    items+=("$ITEM_MS")
    [ $((run + 1)) -lt "$RUNS" ] && sni_panel_stop
done
echo "panel start to its StatusNotifierWatcher: $(median "${watchers[@]}") ms median of ${RUNS} runs (${watchers[*]} ms)"
echo "panel start to the program's item registered: $(median "${items[@]}") ms median of ${RUNS} runs (${items[*]} ms; polled every 10 ms)"

idle_report "$PID" "as a StatusNotifierItem" "$W"
stop_kronvik
[ ! -s "$W/clock.log" ] || echo "note: the program tried to set the clock: $(cat "$W/clock.log")" >&2
