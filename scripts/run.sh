#!/bin/bash
# usage: run.sh BUILD_DIR
# Starts Kronvik on the current desktop. Without one, shows it on a virtual desktop instead
# (Xvfb, openbox and a tray, with a throw-away settings folder and the clock calls caught by the
# preload shim), step by step: the first start's dialog, a save, the tray, "Get time" against a
# local timeserver and new mail from a local POP3 server (both in a private network namespace,
# which needs root), and Exit. Screenshots go to BUILD_DIR/run-artifacts.
set -u
BUILD=$(cd "$1" && pwd)
APP=$BUILD/kronvik
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$APP"
fi

HERE=$(cd "$(dirname "$0")/../tests/e2e" && pwd)
PEERS=$HERE/../peers
SHIM=$BUILD/tests/peers/libtimeshim.so
ARTIFACTS=$BUILD/run-artifacts
step() { printf '==> %s\n' "$*"; }

if [ -z "${KRONVIK_INSIDE_NS:-}" ]; then
    step "No display: Kronvik runs on a virtual one; screenshots go to $ARTIFACTS"
    rm -rf "$ARTIFACTS"
    mkdir -p "$ARTIFACTS"
    if [ "$(id -u)" = 0 ]; then
        # Setting the clock stays out of reach: the shim catches the calls, the capability is gone.
        step "A private network namespace with a timeserver (inetd) and a POP3 server (dovecot)"
        exec setpriv --bounding-set=-sys_time --inh-caps=-sys_time env KRONVIK_INSIDE_NS=0 "$0" "$@"
    fi
    step "Not root: no private network namespace, so no \"Get time\" and no mail"
fi
if [ "${KRONVIK_INSIDE_NS:-}" = 0 ]; then
    . "$HERE/namespace.sh"
    namespace_setup() {
        chmod 755 "$W" # dovecot's mail processes run as nobody
        "$PEERS/timesrv-start.sh" "$NS" "$W/timeserver" '2026-12-08 12:00:00' >/dev/null &&
            "$PEERS/pop3srv-start.sh" "$NS" "$W/dovecot" 2 >/dev/null
    }
    namespace_teardown() {
        "$PEERS/dialup-down.sh" "$NS" ppp0 "$W" 2>/dev/null
        "$PEERS/pop3srv-stop.sh" "$W/dovecot"
        "$PEERS/timesrv-stop.sh" "$W/timeserver"
    }
    namespace_enter "$0" "$@"
fi

. "$HERE/desktop.sh"
. "$HERE/kronvik.sh"
step "A virtual desktop: Xvfb, openbox and trayer; a fresh settings folder"
kronvik_desktop "$ARTIFACTS"
export LD_PRELOAD=$SHIM TIMESHIM_LOG=$W/clock.log
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0

step "First start: the setup dialog opens on \"Server Options\""
kronvik_start "$APP" "$W"
waitfor 'dialog_window >/dev/null' 100 || desktop_fail "the setup dialog did not open"
waitfor '[ -n "$(tray_icon_geometry kronvik)" ]' || desktop_fail "no tray icon beside the dialog"
sleep 0.3
import -window "$(dialog_window)" "$ARTIFACTS/dialog.png"
echo "    $ARTIFACTS/dialog.png"

step "Typing the timeserver 127.0.0.1 and pressing \"Save\": the dialog goes to the tray"
xdotool type --delay 20 127.0.0.1
xdotool key alt+s
waitfor '! dialog_window >/dev/null' || desktop_fail "Save left the dialog up"
grep -qx '"Address"="127.0.0.1"' "$STORE" || desktop_fail "the server was not stored"
echo "    stored in the throw-away settings folder"

# tray_menu ITEM_INDEX SCREENSHOT: a right press on the tray icon, then the menu's item.
tray_menu() {
    tray_menu_open "$2"
    echo "    $2"
    xdotool key $(printf 'Down %.0s' $(seq "$1")) Return
}

if [ -n "${KRONVIK_INSIDE_NS:-}" ]; then
    step "\"Get time\" from the tray menu: the timeserver says 2026-12-08 12:00:00 UTC"
    tray_menu 1 "$ARTIFACTS/menu.png"
    waitfor '[ "$(wc -l <"$W/clock.log" 2>/dev/null)" = 1 ]' 100 || desktop_fail "the clock was not set"
    set_to=$(tail -n 1 "$W/clock.log" | awk '{ print int($2) }')
    echo "    the clock was set to $(date -u -d "@$set_to" '+%F %T') UTC (the shim caught the call; the real clock is untouched)"

    step "Exit, a dial-up link (ppp0), the mailbox in the settings, and a new start"
    tray_menu_exit "$ARTIFACTS/menu-exit.png"
    "$PEERS/dialup-up.sh" "$NS" ppp0 192.0.2.2 192.0.2.1 "$W" || desktop_fail "no dial-up link"
    scrambled=$(printf %s secret | od -An -tu1 | awk '{ for (i = 1; i <= NF; i++) printf "%s%02x", (i > 1 ? "," : ""), ($i + i + 75) % 256 }')
    cat >>"$STORE" <<REG

[HKEY_CURRENT_USER\\Kronvik\\EmailVfy]
"POPServer"="127.0.0.1"
"Username"="tester"
"Password"=hex(1):$scrambled
"Interval"="1"
REG
    kronvik_start "$APP" "$W"
    waitfor '[ -n "$(tray_icon_geometry kronvik)" ]' 100 || desktop_fail "no tray icon"

    step "Waiting for the first mail check (a minute after the start; dovecot holds 2 messages)"
    # Every icon of kronvik's in the tray: the clock's, then also the new-mail one.
    icons() { tray_icon_geometries kronvik | sort -u; }
    CLOCK_ICON=$(icons)
    waitfor '[ "$(icons | wc -l)" = 2 ]' 900 || desktop_fail "no new-mail icon within 90 s"
    sleep 1
    TRAY=$(xdotool search --onlyvisible --class trayer | head -1)
    import -window "$TRAY" "$ARTIFACTS/tray-new-mail.png"
    echo "    $ARTIFACTS/tray-new-mail.png"

    step "A click on the new-mail icon: the notice of 2 messages, closed with Enter"
    read -r X Y WIDTH HEIGHT <<<"$(icons | grep -vxF "$CLOCK_ICON" | head -1)"
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) mousedown 1
    sleep 0.15
    xdotool mouseup 1
    waitfor '[ "$(icons | wc -l)" = 1 ] && [ "$(xdotool getactivewindow getwindowpid 2>/dev/null)" = "$KRONVIK_PID" ]' 100 ||
        desktop_fail "no notice after the click"
    sleep 0.5
    import -window root "$ARTIFACTS/notice.png"
    echo "    $ARTIFACTS/notice.png"
    xdotool key Return
    waitfor '[ "$(xdotool getactivewindow getwindowpid 2>/dev/null)" != "$KRONVIK_PID" ]' || desktop_fail "the notice stayed up"
else
    step "The tray"
    waitfor '[ -n "$(tray_icon_geometry kronvik)" ]' || desktop_fail "no tray icon"
    TRAY=$(xdotool search --onlyvisible --class trayer | head -1)
    import -window "$TRAY" "$ARTIFACTS/tray.png"
    echo "    $ARTIFACTS/tray.png"
fi

step "\"Exit\" from the tray menu"
tray_menu_exit "$ARTIFACTS/menu-exit.png"
echo "    $ARTIFACTS/menu-exit.png"
step "Done: Kronvik ended with status 0; screenshots in $ARTIFACTS"
