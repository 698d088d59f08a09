#!/bin/bash
# usage: handover.sh BUILD_DIR [RUNS]
# The real program on a private X desktop, one copy running in the tray: how long a second copy
# takes from exec to its end, having handed over (median of RUNS, default 10); how long until the
# running copy's dialog is on screen after such a hand-over; and how long the About box takes
# from the dialog's "About" key to its window on screen. Figures only; polled every 10 ms.
set -u
BUILD=$(cd "$1" && pwd)
RUNS=${2:-10}
APP=$BUILD/kronvik
HERE=$(cd "$(dirname "$0")" && pwd)
[ -x "$APP" ] || { echo "handover: $APP not built" >&2; exit 1; }

W=$(mktemp -d /tmp/kronvik-bench.XXXXXX)
. "$HERE/../tests/e2e/desktop.sh"
. "$HERE/../tests/e2e/kronvik.sh"
trap 'kronvik_stop; desktop_stop; rm -rf "$W"' EXIT
trap 'exit 1' INT TERM HUP

desktop_start "$W"
export XDG_CONFIG_HOME=$W/config
sed "s|@CAPTURE_FILE@|$W/sound.wav|" "$HERE/../tests/peers/asoundrc-capture" >"$W/asoundrc"
export ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:$W/asoundrc
mkdir -p "$XDG_CONFIG_HOME/kronvik"
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Kronvik\\Server]\n"Address"="time.example.test"\n' \
    >"$XDG_CONFIG_HOME/kronvik/user.reg"

now_ns() { date +%s%N; }
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# until_seen CONDITION: milliseconds from START until CONDITION holds (at most 10 s), or fails.
until_seen() {
    local polls=0
    while [ $polls -lt 1000 ]; do
        if eval "$1"; then
            echo $((($(now_ns) - START) / 1000000))
            return 0
        fi
        sleep 0.01
        polls=$((polls + 1))
    done
    return 1
}

kronvik_start "$APP" "$W"
waitfor '[ -n "$(tray_icon_geometry kronvik)" ]' 100 || desktop_fail "no tray icon"
sleep 1

ends=()
shown=()
for ((run = 0; run < RUNS; run++)); do
    START=$(now_ns)
    "$APP" >>"$W/second.out" 2>&1
    ends+=($((($(now_ns) - START) / 1000000)))
    if [ "$run" = 0 ]; then
        # The first hand-over found the program in the tray: the dialog comes up.
        shown+=("$(until_seen 'dialog_window >/dev/null')") || desktop_fail "the dialog did not come up"
    fi
done
echo "second copy, exec to end after handing over: $(median "${ends[@]}") ms median of $RUNS (${ends[*]} ms)"
echo "running copy's dialog on screen after a hand-over from the tray: ${shown[0]} ms"

opens=()
for ((run = 0; run < 5; run++)); do
    # A hand-over brings the dialog up (About may have sent it back to the tray); once it holds
    # the focus, its "About" key opens the box.
    "$APP" >>"$W/second.out" 2>&1
    waitfor '[ "$(active_window_name)" = "Kronvik Setup" ]' || desktop_fail "the dialog is not active: $(active_window_name)"
    sleep 0.5
    START=$(now_ns)
    xdotool key alt+a
    opens+=("$(until_seen "xdotool search --onlyvisible --name '^About Kronvik\$' >/dev/null 2>&1")") ||
        desktop_fail "the About box did not open"
    xdotool key Return
    waitfor '! xdotool search --onlyvisible --name "^About Kronvik\$" >/dev/null 2>&1' || desktop_fail "the box did not close"
done
echo "About box, key press to window on screen: $(median "${opens[@]}") ms median of 5 (${opens[*]} ms)"
