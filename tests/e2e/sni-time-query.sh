#!/bin/bash
# "Get time" on a panel that hosts StatusNotifierItems (xfce4-panel on a private session bus):
# a real timeserver (inetd's time service, frozen at 1983-05-01 00:00:00 UTC) inside a private
# network namespace, the real program on the same desktop, its clock calls caught by the preload
# shim. The program's icon is one item, never an XEmbed icon beside it; a single left click
# sets the clock; a right click shows the program's menu, drawn by the panel, whose "Exit" ends
# the program and takes the item away.
# usage: sni-time-query.sh KRONVIK TIMESHIM SOUNDS_DIR ARTIFACT_DIR
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
PEERS=$HERE/../peers
APP=$1 SHIM=$2 SOUNDS=$3 ARTIFACTS=$4

. "$HERE/namespace.sh"
namespace_setup() { "$PEERS/timesrv-start.sh" "$NS" "$W/server" '1983-05-01 00:00:00' >/dev/null; }
namespace_teardown() { "$PEERS/timesrv-stop.sh" "$W/server"; }
namespace_enter "$0" "$@"

. "$HERE/desktop.sh"
. "$HERE/sni-desktop.sh"
. "$HERE/kronvik.sh"
kronvik_desktop "$ARTIFACTS" sni
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Kronvik\\Server]\n"Address"="127.0.0.1"\n"TimeMode"="1"\n' >"$STORE"

ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 \
    LD_PRELOAD=$SHIM TIMESHIM_LOG=$W/clock.log kronvik_start "$APP" "$W"
waitfor '[ "$(sni_items_of "$KRONVIK_PID")" = 1 ]' 100 || desktop_fail "the program's item was not registered"
sleep 0.5
[ "$(sni_items_of "$KRONVIK_PID")" = 1 ] || desktop_fail "more than one item for one icon"
[ -z "$(tray_icon_geometry kronvik)" ] || desktop_fail "an XEmbed icon beside the item"
import -window root "$ARTIFACTS/item.png"

sni_press 1
waitfor '[ "$(wc -l <"$W/clock.log" 2>/dev/null)" = 1 ]' 100 || desktop_fail "a click did not set the clock"
sleep 1
cp "$W/clock.log" "$ARTIFACTS/clock.log"
[ "$(wc -l <"$W/clock.log")" = 1 ] || desktop_fail "one click set the clock more than once"
[ "$(tail -n 1 "$W/clock.log")" = "clock_settime 420595200.000000000" ] ||
    desktop_fail "the clock was set to $(tail -n 1 "$W/clock.log"), not 1983-05-01 00:00:00 UTC"
ok=$SOUNDS/WAV_OK.wav
samples=$(($(stat -c %s "$ok") - 44))
waitfor "[ \$(stat -c %s '$W/sound.wav' 2>/dev/null || echo 0) -ge $((samples + 44)) ]" 50 || desktop_fail "no sound was played"
cmp -s -n "$samples" <(tail -c +45 "$W/sound.wav") <(tail -c +45 "$ok") || desktop_fail "the sound played is not the success sound"
! xdotool search --onlyvisible --name '^Warning$' >/dev/null 2>&1 || desktop_fail "a warning box came up"

sni_press 3
waitfor 'sni_menu_window >/dev/null' || { import -window root "$ARTIFACTS/menu.failed.png"; desktop_fail "the panel showed no menu"; }
sleep 0.3
import -window root "$ARTIFACTS/menu.png"
xdotool key Up Return
for _ in $(seq 50); do
    kill -0 "$KRONVIK_PID" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$KRONVIK_PID" 2>/dev/null && desktop_fail "Exit did not end the program"
wait "$KRONVIK_PID"
status=$?
pid=$KRONVIK_PID
KRONVIK_PID=""
[ "$status" = 0 ] || desktop_fail "the program ended with status $status"
waitfor '[ "$(sni_items_of "$pid")" = 0 ]' 10 || desktop_fail "the item outlived the program"
echo PASS
