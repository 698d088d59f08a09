#!/bin/bash
# An autostarted Kronvik often comes up before the desktop's panel: it must keep running
# without a tray host and show its icon as soon as one appears, and again in a tray that
# restarts, with no stray window left in between. At log-off (SIGTERM) it takes its icon away
# and ends cleanly.
# usage: late-tray.sh KRONVIK
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
APP=$1
. "$HERE/desktop.sh"
. "$HERE/kronvik.sh"

kronvik_desktop "" notray
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Kronvik\\Server]\n"Address"="time.example.test"\n' \
    >"$STORE"

kronvik_start "$APP" "$W"
sleep 2
kill -0 "$KRONVIK_PID" 2>/dev/null || desktop_fail "Kronvik ended without a tray host: $(cat "$W/kronvik.err")"
! dialog_window >/dev/null || desktop_fail "a window opened instead of waiting for the tray"

tray_start "$W"
waitfor '[ -n "$(tray_icon_geometry kronvik)" ]' 100 || desktop_fail "the icon did not appear in the late tray"
tray_stop
waitfor '[ -z "$(tray_icon_geometry kronvik)" ]' || desktop_fail "the icon stayed on screen without its tray"
tray_start "$W"
waitfor '[ -n "$(tray_icon_geometry kronvik)" ]' 100 || desktop_fail "the icon did not return to the restarted tray"
[ "$(xwininfo -root -tree | grep -c '"kronvik": ("kronvik" "kronvik")')" = 1 ] || desktop_fail "more than one icon window"
kill -TERM "$KRONVIK_PID"
wait "$KRONVIK_PID"
status=$?
KRONVIK_PID=""
[ "$status" = 0 ] || desktop_fail "log-off ended the program with status $status"
[ -z "$(tray_icon_geometry kronvik)" ] || desktop_fail "the icon outlived the program"
echo PASS
