#!/bin/bash
# usage: launcher-x11.sh TEST_EXECUTABLE XCLIENT
# Runs the launcher's X test twice on a private display: under the openbox window manager, and
# on the bare display, where windows are found and judged without a window manager's help.
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
TEST=$1 XCLIENT=$2
. "$HERE/../e2e/desktop.sh"

W=$(mktemp -d /tmp/kronvik-launcher.XXXXXX)
trap 'desktop_stop; rm -rf "$W"' EXIT

status=0
for desktop in notray bare; do
    mkdir -p "$W/$desktop"
    desktop_start "$W/$desktop" "$desktop"
    echo "== $desktop"
    KRONVIK_XCLIENT=$XCLIENT QT_QPA_PLATFORM=offscreen "$TEST" || status=1
    desktop_stop
done
exit $status
