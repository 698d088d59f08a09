#!/bin/bash
# The setup dialog stays as the user left it. A query started from the tray that fails while the
# dialog is up shows its warning and leaves the dialog on screen; so does the About box opened from
# the dialog, and an edit made before it is still saved by "Save". When the window manager
# iconifies the dialog, the tray menu still opens, a double-click still starts no query, and
# "Setup" brings the dialog back with the unsaved edit in it, which "Save" then stores. Runs in a
# private network namespace with a timeserver that answers after two seconds, and a clock (the
# preload shim) that refuses to be set.
# usage: dialog-stays.sh KRONVIK TIMESHIM ARTIFACT_DIR
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
PEERS=$HERE/../peers
APP=$1 SHIM=$2 ARTIFACTS=$3

. "$HERE/namespace.sh"
namespace_setup() { "$PEERS/faultsrv-start.sh" "$NS" "$W" late 37 2 >/dev/null; }
namespace_teardown() { "$PEERS/faultsrv-stop.sh" "$W" 37; }
namespace_enter "$0" "$@"

. "$HERE/desktop.sh"
. "$HERE/kronvik.sh"
kronvik_desktop "$ARTIFACTS"
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Kronvik\\Server]\n"Address"="127.0.0.1"\n"TimeMode"="0"\n' >"$STORE"

ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 \
    LD_PRELOAD=$SHIM TIMESHIM_LOG=$W/clock.log TIMESHIM_ERRNO=1 kronvik_start "$APP" "$W"
waitfor '[ -n "$(tray_icon_geometry kronvik)" ]' 100 || desktop_fail "no tray icon"
read -r X Y WIDTH HEIGHT <<<"$(tray_icon_geometry kronvik)"

double_click() { xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click --repeat 2 --delay 80 1; }
# menu_setup: a right press opens the tray menu; its second item is "Setup". A loaded machine may
# deliver the keys before the menu holds the keyboard: they are sent again while it is still open.
menu_setup() {
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) mousedown 3
    sleep 0.15
    xdotool mouseup 3
    waitfor 'menu_window >/dev/null' || { import -window root "$ARTIFACTS/$1.failed.png"; desktop_fail "$1: the tray menu did not open"; }
    for _ in 1 2 3; do
        sleep 0.3
        xdotool key Down Down Return
        waitfor 'dialog_window >/dev/null || ! menu_window >/dev/null' 30
        dialog_window >/dev/null && return 0
        menu_window >/dev/null || break
    done
    waitfor 'dialog_window >/dev/null' || { import -window root "$ARTIFACTS/$1.no-dialog.png"; desktop_fail "$1: \"Setup\" did not show the dialog"; }
}
window_named() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 | grep .; }
clock_calls() { wc -l <"$W/clock.log" 2>/dev/null || echo 0; }

# A query from the tray, then the dialog; the refused clock change comes while it is up.
double_click
menu_setup query
waitfor "window_named '^Warning\$' >/dev/null" 50 || desktop_fail "no warning for the refused clock change"
sleep 0.3
import -window root "$ARTIFACTS/warning-over-dialog.png"
xdotool windowactivate --sync "$(window_named '^Warning$')" key Return
waitfor "! window_named '^Warning\$' >/dev/null" || desktop_fail "the warning did not close"
sleep 0.5
dialog_window >/dev/null || desktop_fail "the dialog vanished after the failed query's warning"

# About from the dialog, with an unsaved edit.
xdotool windowactivate --sync "$(dialog_window)" key ctrl+a
xdotool type --delay 20 "about.example.test"
xdotool key alt+a
waitfor "window_named '^About' >/dev/null" || desktop_fail "the About box did not open"
sleep 0.3
import -window root "$ARTIFACTS/about-over-dialog.png"
xdotool windowactivate --sync "$(window_named '^About')" key Escape
waitfor "! window_named '^About' >/dev/null" || desktop_fail "the About box did not close"
sleep 0.5
dialog_window >/dev/null || desktop_fail "the dialog vanished after the About box"
import -window root "$ARTIFACTS/dialog-after-about.png"

xdotool windowactivate --sync "$(dialog_window)" key alt+s
waitfor '! dialog_window >/dev/null' || desktop_fail "Save left the dialog up"
grep -qx '"Address"="about.example.test"' "$STORE" || desktop_fail "the edit made before About was not saved: $(cat "$STORE")"

# An unsaved edit, then the window manager iconifies the dialog.
menu_setup edit
xdotool key ctrl+a
xdotool type --delay 20 "edited.example.test"
xdotool windowminimize --sync "$(dialog_window)"
waitfor '! dialog_window >/dev/null' || desktop_fail "the dialog was not iconified"
calls=$(clock_calls)
double_click
sleep 3
[ "$(clock_calls)" = "$calls" ] || desktop_fail "a double-click started a query while the dialog was iconified"
menu_setup iconified
import -window root "$ARTIFACTS/dialog-after-iconify.png"
xdotool key alt+s
waitfor '! dialog_window >/dev/null' || desktop_fail "Save left the dialog up"
grep -qx '"Address"="edited.example.test"' "$STORE" || desktop_fail "the unsaved edit was lost: $(cat "$STORE")"
tray_menu_exit "$ARTIFACTS/menu-at-exit.png"
echo PASS
