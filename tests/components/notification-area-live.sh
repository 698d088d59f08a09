#!/bin/bash
# usage: notification-area-live.sh TEST_EXECUTABLE
# Runs the notification area's live test on a private desktop whose panel hosts
# StatusNotifierItems (xfce4-panel on a bus of its own); whatever happens, everything started
# here is stopped by pid.
set -u
HERE=$(cd "$(dirname "$0")/../e2e" && pwd)
TEST=$1
W=$(mktemp -d /tmp/kronvik-sni.XXXXXX)
. "$HERE/desktop.sh"
. "$HERE/sni-desktop.sh"
trap 'sni_desktop_stop; rm -rf "$W"' EXIT
trap 'exit 1' INT TERM HUP

sni_desktop_start "$W"
"$TEST" || exit 1
# Without the panel, beside an X tray, the test stands in for a watcher that refuses its items.
sni_panel_stop
tray_start "$W"
"$TEST" refusedItemShowsInTheXTray
