#!/bin/bash
# The real program on a real X desktop: first start opens the setup dialog; typing a server and
# saving sends it to the tray and writes the store; a restart shows no window, only the tray
# icon; a right press on the icon opens the menu, whose "Exit" ends the program.
# usage: first-start.sh KRONVIK ARTIFACT_DIR
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
APP=$1
ARTIFACTS=$2
. "$HERE/desktop.sh"
. "$HERE/kronvik.sh"

kronvik_desktop "$ARTIFACTS"

kronvik_start "$APP" "$W"
waitfor 'dialog_window >/dev/null' 100 || desktop_fail "the setup dialog did not open"
DIALOG=$(dialog_window)
[ "$(xdotool getwindowpid "$DIALOG")" = "$KRONVIK_PID" ] || desktop_fail "the dialog is not Kronvik's"
waitfor '[ -n "$(tray_icon_geometry kronvik)" ]' || desktop_fail "no tray icon beside the dialog"
sleep 0.3
import -window root "$ARTIFACTS/first-start.png"
[ "$(active_window_name)" = "Kronvik Setup" ] || desktop_fail "the dialog does not have the focus"

# The cursor waits in the timeserver field.
xdotool type --delay 20 "time.example.test"
xdotool key alt+s
waitfor '! dialog_window >/dev/null' || desktop_fail "Save left the dialog up"
grep -qx '"Address"="time.example.test"' "$XDG_CONFIG_HOME/kronvik/user.reg" || desktop_fail "the server was not stored"
grep -qx '"TimeMode"="0"' "$XDG_CONFIG_HOME/kronvik/user.reg" || desktop_fail "the time mode was not stored"
[ "$(stat -c %a "$XDG_CONFIG_HOME/kronvik/user.reg")" = 600 ] || desktop_fail "the store is readable by others"

tray_menu_exit "$ARTIFACTS/menu-after-save.png"

# A later start goes straight to the tray.
kronvik_start "$APP" "$W"
waitfor '[ -n "$(tray_icon_geometry kronvik)" ]' || desktop_fail "no tray icon after restart"
sleep 1
! dialog_window >/dev/null || desktop_fail "a window opened although a server is stored"
import -window root "$ARTIFACTS/later-start.png"
tray_menu_exit "$ARTIFACTS/menu.png"
echo PASS
