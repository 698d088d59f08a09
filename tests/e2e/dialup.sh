#!/bin/bash
# A dial-up connection end to end: inside a private network namespace, with inetd's time service
# (frozen at 1983-05-01 00:00:00 UTC) and the real program on a real X desktop, a point-to-point
# link ppp0 comes up with an address. Within a tick the program asks the timeserver (reached over
# loopback, beside the link) and sets the clock, caught by the preload shim; the next tick starts the
# program on the launcher list, in its folder; when the link goes down, that program's window is
# asked to close and the program ends. Screenshots of each stage go to ARTIFACT_DIR.
# usage: dialup.sh KRONVIK TIMESHIM XCLIENT ARTIFACT_DIR
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
PEERS=$HERE/../peers
APP=$1 SHIM=$2 XCLIENT=$3 ARTIFACTS=$4

. "$HERE/namespace.sh"
namespace_setup() { "$PEERS/timesrv-start.sh" "$NS" "$W/server" '1983-05-01 00:00:00' >/dev/null; }
namespace_teardown() {
    "$PEERS/dialup-down.sh" "$NS" ppp0 "$W/link"
    "$PEERS/timesrv-stop.sh" "$W/server"
}
namespace_enter "$0" "$@"

mkdir -p "$ARTIFACTS"
. "$HERE/desktop.sh"
. "$HERE/kronvik.sh"
. "$PEERS/lib.sh"
EVENTS=$W/events.log

# The launched program's events: "start PID FOLDER", "main PID WINDOW", "close PID WINDOW", ...
logged() { awk -v kind="$1" '$1 == kind { $1 = ""; $2 = ""; sub(/^  /, ""); print; exit }' "$EVENTS" 2>/dev/null; }
program_pid() { awk '$1 == "start" { print $2; exit }' "$EVENTS" 2>/dev/null; }
stop_program() {
    _p=$(program_pid)
    [ -n "$_p" ] && alive "$_p" && kill "$_p"
    return 0
}
trap 'stop_program; kronvik_stop; desktop_stop' EXIT

desktop_start "$W"
kronvik_environment "$W"
PROGRAM_DIR="$W/my programs"
mkdir -p "$PROGRAM_DIR" "$XDG_CONFIG_HOME/kronvik"
cp "$XCLIENT" "$PROGRAM_DIR/main"
# The timeserver is reached beside the link; the link's address is still the one to remember.
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Kronvik\\Server]\n"Address"="127.0.0.1"\n"TimeMode"="1"\n"DetectMode"="0"\n\n[HKEY_CURRENT_USER\\Kronvik\\AppLauncher]\n"App0"="%s"\n' \
    "$PROGRAM_DIR/main" >"$XDG_CONFIG_HOME/kronvik/user.reg"

ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 \
    TZ=UTC LD_PRELOAD=$SHIM TIMESHIM_LOG=$W/clock.log XCLIENT_LOG=$EVENTS kronvik_start "$APP" "$W"
waitfor '[ -n "$(tray_icon_geometry kronvik)" ]' 100 || desktop_fail "no tray icon"
import -window root "$ARTIFACTS/1-before-dialling.png"
[ ! -e "$W/clock.log" ] || desktop_fail "the clock was set without a connection"

# Dialled: the next tick finds the new address and asks for the time.
"$PEERS/dialup-up.sh" "$NS" ppp0 10.64.0.1 10.64.0.2 "$W/link" || desktop_fail "the link did not come up"
waitfor '[ "$(wc -l 2>/dev/null <"$W/clock.log")" = 1 ]' 100 || desktop_fail "no time query after the link came up"
[ "$(tail -n 1 "$W/clock.log")" = "clock_settime 420595200.000000000" ] ||
    desktop_fail "the clock was set to $(tail -n 1 "$W/clock.log"), not 1983-05-01 00:00:00 UTC"

# The tick after the query starts the program, in its own folder, and records its window.
waitfor '[ -n "$(logged main)" ]' 100 || desktop_fail "the program on the list was not started"
[ "$(logged start)" = "$PROGRAM_DIR" ] || desktop_fail "the program started in '$(logged start)', not its folder"
WINDOW=$(logged main)
sleep 0.3
import -window root "$ARTIFACTS/2-connected-program-started.png"

# Connected with the same address: no second query, no second start.
sleep 6
[ "$(wc -l <"$W/clock.log")" = 1 ] || desktop_fail "the known connection was queried again"
[ "$(grep -c '^start' "$EVENTS")" = 1 ] || desktop_fail "the program was started twice"

# Hung up: the next tick asks the program's window to close, and the program ends.
"$PEERS/dialup-down.sh" "$NS" ppp0 "$W/link"
waitfor '[ -n "$(logged close)" ]' 100 || desktop_fail "the program's window was not asked to close"
[ "$(logged close)" = "$WINDOW" ] || desktop_fail "the close request went to $(logged close), not the main window $WINDOW"
waitfor '! alive "$(program_pid)"' 50 || desktop_fail "the program did not end"
import -window root "$ARTIFACTS/3-hung-up-program-closed.png"

! xdotool search --onlyvisible --name '^Warning$' >/dev/null 2>&1 || desktop_fail "a warning box came up"
tray_menu_exit "$ARTIFACTS/4-menu.png"
echo PASS
