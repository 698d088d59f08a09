#!/bin/bash
# An autostarted Kronvik often comes up before the desktop's panel, and panels restart. On a
# desktop whose panel hosts StatusNotifierItems (xfce4-panel on a private session bus) the
# program waits without a host, registers its one item once the panel is up, again after the
# panel restarts, never shows an XEmbed icon beside it, and at log-off (SIGTERM) takes the item
# away at once and ends cleanly.
# usage: sni-late-panel.sh KRONVIK
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
APP=$1
W=$(mktemp -d /tmp/kronvik-e2e.XXXXXX)
. "$HERE/desktop.sh"
. "$HERE/sni-desktop.sh"
. "$HERE/kronvik.sh"

trap 'kronvik_stop; sni_desktop_stop; rm -rf "$W"' EXIT
sni_desktop_start "$W" nopanel
kronvik_environment "$W"
mkdir -p "$XDG_CONFIG_HOME/kronvik"
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Kronvik\\Server]\n"Address"="time.example.test"\n' \
    >"$XDG_CONFIG_HOME/kronvik/user.reg"

# one_item WHEN: within 10 s the program has exactly one item and no XEmbed icon, and keeps it so.
one_item() {
    waitfor '[ "$(sni_items_of "$KRONVIK_PID")" = 1 ]' 100 || desktop_fail "no item $1"
    sleep 0.5
    [ "$(sni_items_of "$KRONVIK_PID")" = 1 ] || desktop_fail "more than one item $1"
    [ -z "$(tray_icon_geometry kronvik)" ] || desktop_fail "an XEmbed icon beside the item $1"
}

kronvik_start "$APP" "$W"
sleep 2
kill -0 "$KRONVIK_PID" 2>/dev/null || desktop_fail "Kronvik ended without a panel: $(cat "$W/kronvik.err")"
! dialog_window >/dev/null || desktop_fail "a window opened instead of waiting for the panel"

sni_panel_start "$W"
one_item "once the panel started after the program"

sni_panel_stop
sni_panel_start "$W"
one_item "after the panel restarted"

kill -TERM "$KRONVIK_PID"
wait "$KRONVIK_PID"
status=$?
pid=$KRONVIK_PID
KRONVIK_PID=""
[ "$status" = 0 ] || desktop_fail "log-off ended the program with status $status"
waitfor '[ "$(sni_items_of "$pid")" = 0 ]' 10 || desktop_fail "the item outlived the program"
echo PASS
