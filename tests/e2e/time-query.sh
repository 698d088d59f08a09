#!/bin/bash
# "Get time" end to end: a real timeserver (inetd's time service, frozen at 1983-05-01 00:00:00
# UTC) inside a private network namespace, the real program on a real X desktop in the same
# namespace, its clock calls caught by the preload shim. A double-click on the tray icon must
# ask the server, set the local clock to exactly the server's time and play the success sound.
# Then, with a server named by a name and a name server that never answers, the program must go
# on answering while the name is looked up: its tray menu opens within a second, and the query
# ends with the resolver's error some seconds later.
# usage: time-query.sh KRONVIK TIMESHIM SOUNDS_DIR ARTIFACT_DIR
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
PEERS=$HERE/../peers
APP=$1 SHIM=$2 SOUNDS=$3 ARTIFACTS=$4

. "$HERE/namespace.sh"
namespace_setup() { "$PEERS/timesrv-start.sh" "$NS" "$W/server" '1983-05-01 00:00:00' >/dev/null; }
namespace_teardown() { "$PEERS/timesrv-stop.sh" "$W/server"; }
namespace_enter "$0" "$@"

. "$HERE/desktop.sh"
. "$HERE/kronvik.sh"
kronvik_desktop "$ARTIFACTS"
# Local time in a zone without daylight saving: the clock must land on the server's instant.
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Kronvik\\Server]\n"Address"="127.0.0.1"\n"TimeMode"="0"\n' \
    >"$STORE"

# A sanitizer build would refuse a preloaded library ahead of its own runtime.
ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 \
    TZ=Asia/Kolkata LD_PRELOAD=$SHIM TIMESHIM_LOG=$W/clock.log kronvik_start "$APP" "$W"
waitfor '[ -n "$(tray_icon_geometry kronvik)" ]' 100 || desktop_fail "no tray icon"
read -r X Y WIDTH HEIGHT <<<"$(tray_icon_geometry kronvik)"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click --repeat 2 --delay 80 1

waitfor '[ "$(wc -l <"$W/clock.log" 2>/dev/null)" = 1 ]' 100 || desktop_fail "the clock was not set once"
cp "$W/clock.log" "$ARTIFACTS/clock.log"
[ "$(tail -n 1 "$W/clock.log")" = "clock_settime 420595200.000000000" ] ||
    desktop_fail "the clock was set to $(tail -n 1 "$W/clock.log"), not 1983-05-01 00:00:00 UTC"

# The success sound: the captured samples begin with the resource's.
ok=$SOUNDS/WAV_OK.wav
samples=$(($(stat -c %s "$ok") - 44))
waitfor "[ \$(stat -c %s '$W/sound.wav' 2>/dev/null || echo 0) -ge $((samples + 44)) ]" 50 || desktop_fail "no sound was played"
cmp -s -n "$samples" <(tail -c +45 "$W/sound.wav") <(tail -c +45 "$ok") || desktop_fail "the sound played is not the success sound"

! xdotool search --onlyvisible --name '^Warning$' >/dev/null 2>&1 || desktop_fail "a warning box came up"
import -window root "$ARTIFACTS/after-query.png"
tray_menu_exit "$ARTIFACTS/menu-after-query.png"

# Then a name server that takes every question and answers none, in place of the system's for the
# program alone (a mount namespace of its own), and a timeserver named by a name.
socat -u UDP4-RECV:53,bind=127.0.0.1 /dev/null &
trap "kill $! 2>/dev/null; kronvik_stop; desktop_stop" EXIT
printf 'nameserver 127.0.0.1\noptions timeout:4 attempts:1\n' >"$W/resolv.conf"
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Kronvik\\Server]\n"Address"="time.kronvik.test"\n' >"$STORE"
ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 LD_PRELOAD=$SHIM TIMESHIM_LOG=$W/clock.log \
    unshare --mount sh -c 'mount --bind "$0" /etc/resolv.conf && exec "$1"' "$W/resolv.conf" "$APP" >>"$W/kronvik.out" 2>>"$W/kronvik.err" &
KRONVIK_PID=$!
waitfor 'read -r X Y WIDTH HEIGHT <<<"$(tray_icon_geometry kronvik)" && [ -n "$X" ]' 100 || desktop_fail "no tray icon"
# "Get time", and while the name is looked up, the menu.
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click --repeat 2 --delay 80 1 sleep 0.5 mousedown 3 sleep 0.15 mouseup 3
waitfor 'menu_window >/dev/null' 10 || desktop_fail "the tray menu did not open within a second while the name was looked up"
xdotool key Escape
waitfor "xdotool search --onlyvisible --name '^Warning\$' >/dev/null 2>&1" 100 || desktop_fail "the query did not end with the resolver's error"
import -window root "$ARTIFACTS/look-up-failed.png"
echo PASS
