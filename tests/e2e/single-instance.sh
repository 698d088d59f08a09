#!/bin/bash
# Only one copy runs for a user and name. Copies started together, two and five at a time, twenty
# times over: one stays, the others end within seconds, having shown nothing (no window, no tray
# icon) and written nothing. The survivor ends by log-off or kill -9, and the next start runs
# normally (a crashed copy's socket file does not stand in its way). A copy under another name
# runs beside the first. A later start brings the running copy's dialog to the user: from the
# tray, iconified, or covered by another window.
# usage: single-instance.sh KRONVIK XWINDOWLOG ARTIFACT_DIR
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
APP=$1
XWINDOWLOG=$2
ARTIFACTS=$3
W=$(mktemp -d /tmp/kronvik-e2e.XXXXXX)
mkdir -p "$ARTIFACTS"
. "$HERE/desktop.sh"
. "$HERE/kronvik.sh"

COPIES=()
LOGGER=""
COVER=""
stop_all() {
    for _p in "${COPIES[@]}" $COVER $LOGGER; do
        kill -KILL "$_p" 2>/dev/null
        wait "$_p" 2>/dev/null
    done
    COPIES=()
}
trap 'stop_all; kronvik_stop; desktop_stop; rm -rf "$W"' EXIT
desktop_start "$W"
kronvik_environment "$W"
STORE=$XDG_CONFIG_HOME/kronvik/user.reg
mkdir -p "$(dirname "$STORE")"
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Kronvik\\Server]\n"Address"="time.example.test"\n' >"$STORE"
cp -p "$STORE" "$W/store.before"

"$XWINDOWLOG" >"$W/windows.log" 2>"$W/xwindowlog.err" &
LOGGER=$!
waitfor "grep -qx ready '$W/windows.log'" || desktop_fail "the window log did not start"

alive() {
    local n=0
    for _p in "$@"; do kill -0 "$_p" 2>/dev/null && n=$((n + 1)); done
    echo $n
}

# start_together N: N copies leave the starting line at the same instant (each reads one line
# from a pipe that receives all N lines in one write); their pids go to COPIES.
start_together() {
    rm -f "$W/go"
    mkfifo "$W/go"
    exec 7<>"$W/go"
    COPIES=()
    for ((_i = 0; _i < $1; _i++)); do
        (read -r _ <"$W/go" && exec "$APP" >>"$W/copies.out" 2>&1) &
        COPIES+=($!)
    done
    printf 'go\n%.0s' $(seq "$1") >&7
}

# shown_by PID: the windows PID mapped or handed to the tray (an unknown process counts too).
shown_by() { awk -v pid="$1" '($1 == "map" || $1 == "reparent") && ($3 == pid || $3 == "?")' "$W/windows.log"; }

round() {
    local n=$1 how=$2 survivor="" status
    start_together "$n"
    waitfor "[ \$(alive ${COPIES[*]}) -le 1 ]" 100 || desktop_fail "round $ROUND: $(alive "${COPIES[@]}") of $n copies still run after 10 s"
    exec 7>&-
    sleep 0.5
    [ "$(alive "${COPIES[@]}")" = 1 ] || desktop_fail "round $ROUND: no copy of $n kept running: $(tail -n 5 "$W/copies.out")"
    for _p in "${COPIES[@]}"; do
        if kill -0 "$_p" 2>/dev/null; then
            survivor=$_p
            continue
        fi
        wait "$_p"
        status=$?
        [ "$status" = 0 ] || desktop_fail "round $ROUND: a later copy ended with status $status"
        [ -z "$(shown_by "$_p")" ] || desktop_fail "round $ROUND: a later copy showed a window: $(shown_by "$_p")"
    done
    waitfor '[ -n "$(tray_icon_geometry kronvik)" ]' 100 || desktop_fail "round $ROUND: the running copy has no tray icon"
    cmp -s "$STORE" "$W/store.before" || desktop_fail "round $ROUND: the settings were written"
    kill "-$how" "$survivor"
    wait "$survivor" 2>/dev/null
    COPIES=()
    waitfor '[ -z "$(tray_icon_geometry kronvik)" ]' || desktop_fail "round $ROUND: the icon outlived its program"
}

for ((ROUND = 1; ROUND <= 20; ROUND++)); do
    # Every third survivor is killed outright, leaving its socket file behind.
    how=TERM
    [ $((ROUND % 3)) = 0 ] && how=KILL
    round 2 "$how"
    round 5 "$how"
done
echo "40 rounds: one copy stayed each time"

# A copy under another name is another program for the guard.
cp "$APP" "$W/Kronvik2"
kronvik_start "$APP" "$W"
waitfor '[ -n "$(tray_icon_geometry kronvik)" ]' 100 || desktop_fail "no tray icon"
"$W/Kronvik2" >>"$W/copies.out" 2>&1 &
COPIES=($!)
waitfor '[ -n "$(tray_icon_geometry Kronvik2)" ]' 100 || desktop_fail "the copy under another name did not start"
sleep 0.5
[ "$(alive "$KRONVIK_PID" "${COPIES[0]}")" = 2 ] || desktop_fail "the two names did not run side by side"
import -window root "$ARTIFACTS/two-names.png"
stop_all

# The hand-over brings the dialog up from the tray...
handed_over() {
    local status
    "$APP" >>"$W/copies.out" 2>&1
    status=$?
    [ "$status" = 0 ] || desktop_fail "$1: the later copy ended with status $status"
    waitfor 'dialog_window >/dev/null' 50 || desktop_fail "$1: the dialog did not come up"
    waitfor '[ "$(active_window_name)" = "Kronvik Setup" ]' 50 || desktop_fail "$1: the dialog is not the active window"
    kill -0 "$KRONVIK_PID" || desktop_fail "$1: the running copy ended"
    sleep 0.3
    import -window root "$ARTIFACTS/hand-over-$1.png"
}
! dialog_window >/dev/null || desktop_fail "a dialog is up before the hand-over"
handed_over from-tray
DIALOG=$(dialog_window)

# ... from the window manager's icon...
xdotool windowminimize "$DIALOG"
waitfor '! dialog_window >/dev/null' || desktop_fail "the dialog could not be iconified"
handed_over iconified

# ... and from under another program's window, which it then stands above.
xmessage -geometry 500x300+250+200 "another program" >/dev/null 2>&1 &
COVER=$!
waitfor '[ "$(active_window_name)" = xmessage ]' || desktop_fail "the covering window did not take the focus"
COVER_WINDOW=$(xdotool search --onlyvisible --name '^xmessage$' | head -1)
handed_over covered
# Bottom to top: the dialog must come after the other program's window.
stack_position() {
    local i=0 id
    for id in $(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,//g'); do
        i=$((i + 1))
        [ $((id)) = $(($1)) ] && echo $i
    done
}
[ "$(stack_position "$DIALOG")" -gt "$(stack_position "$COVER_WINDOW")" ] ||
    desktop_fail "the dialog is not above the other window: $(xprop -root _NET_CLIENT_LIST_STACKING)"

kronvik_stop
echo PASS
