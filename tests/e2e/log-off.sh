#!/bin/bash
# Log-off while Kronvik is inside a modal loop of its own: the tray menu open, the About box up,
# a warning up. Each time SIGTERM must end the program with status 0, its icon gone and nothing
# written to the settings that Exit would not write. Runs in a private network namespace, where
# the stored timeserver refuses connections, so that a query ends in a warning at once.
# usage: log-off.sh KRONVIK ARTIFACT_DIR
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
PEERS=$HERE/../peers
APP=$1 ARTIFACTS=$2

. "$HERE/namespace.sh"
namespace_enter "$0" "$@"

. "$HERE/desktop.sh"
. "$HERE/kronvik.sh"
kronvik_desktop "$ARTIFACTS"
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Kronvik\\Server]\n"Address"="127.0.0.1"\n' >"$STORE"
cp "$STORE" "$W/store.before"

# log_off SCENE CONDITION: with Kronvik inside the loop that CONDITION shows, SIGTERM must end it.
log_off() {
    waitfor "$2" 50 || { import -window root "$ARTIFACTS/$1.failed.png"; desktop_fail "$1: the loop did not come up"; }
    sleep 0.3
    import -window root "$ARTIFACTS/$1.png"
    kill -TERM "$KRONVIK_PID"
    for _ in $(seq 50); do
        kill -0 "$KRONVIK_PID" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$KRONVIK_PID" 2>/dev/null && desktop_fail "$1: log-off did not end the program"
    wait "$KRONVIK_PID"
    _status=$?
    KRONVIK_PID=""
    [ "$_status" = 0 ] || desktop_fail "$1: log-off ended the program with status $_status: $(tail -n 5 "$W/kronvik.err")"
    [ -z "$(tray_icon_geometry kronvik)" ] || desktop_fail "$1: the icon outlived the program"
    cmp -s "$STORE" "$W/store.before" || desktop_fail "$1: the settings were written"
}

start_in_tray() {
    kronvik_start "$APP" "$W"
    waitfor '[ -n "$(tray_icon_geometry kronvik)" ]' 100 || desktop_fail "no tray icon"
    read -r X Y WIDTH HEIGHT <<<"$(tray_icon_geometry kronvik)"
}

right_press() {
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) mousedown 3
    sleep 0.15
    xdotool mouseup 3
    waitfor 'menu_window >/dev/null' || desktop_fail "the tray menu did not open"
}

window_named() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }

start_in_tray
right_press
log_off menu 'menu_window >/dev/null'

start_in_tray
right_press
sleep 0.3
xdotool key Up Up Return # "About", the item above "Exit"
log_off about "window_named '^About'"

start_in_tray
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click --repeat 2 --delay 80 1
log_off warning "window_named '^Warning$'"
echo PASS
