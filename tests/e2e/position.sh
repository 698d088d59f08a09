#!/bin/bash
# The setup dialog opens where the user left it. A first start opens it centred; the user drags
# it by its title bar; after Save and Setup it is still there; Exit stores its place, and the
# next run opens it there again, frame and all. A place on a monitor since removed, or no
# stored place at all, opens it centred.
# usage: position.sh KRONVIK ARTIFACT_DIR
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
APP=$1
ARTIFACTS=$2
. "$HERE/desktop.sh"
. "$HERE/kronvik.sh"

kronvik_desktop "$ARTIFACTS"

# frame_place: "X Y" of the dialog's frame, as the window manager placed it.
frame_place() {
    local id=$1 x y left top
    x=$(xwininfo -id "$id" | awk '/Absolute upper-left X/ { print $4 }')
    y=$(xwininfo -id "$id" | awk '/Absolute upper-left Y/ { print $4 }')
    read -r left _ top _ <<<"$(xprop -id "$id" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')"
    echo "$((x - left)) $((y - top))"
}

# centred X Y: the frame's place is the middle of the 1024 x 768 screen, give or take its size.
centred() {
    local g w h
    g=$(xwininfo -id "$DIALOG" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w, h }')
    read -r w h <<<"$g"
    [ $(($1 + w / 2 - 512)) -le 12 ] && [ $(($1 + w / 2 - 512)) -ge -12 ] &&
        [ $(($2 + h / 2 - 384)) -le 40 ] && [ $(($2 + h / 2 - 384)) -ge -40 ]
}

tray_setup() {
    tray_menu_open "$W/menu.png"
    xdotool key Down Down Return
    waitfor 'dialog_window >/dev/null' || desktop_fail "Setup did not bring the dialog up"
    DIALOG=$(dialog_window)
    sleep 0.3
}

stored() { sed -n "s/^\"TSetupForm_$1\"=\"\\(.*\\)\"\r\?$/\\1/p" "$STORE"; }

exit_dialog() {
    xdotool key alt+e
    wait "$KRONVIK_PID"
    KRONVIK_PID=""
}

# First start: centred, then dragged by its title bar.
kronvik_start "$APP" "$W"
waitfor 'dialog_window >/dev/null' 100 || desktop_fail "the setup dialog did not open"
DIALOG=$(dialog_window)
sleep 0.3
read -r X0 Y0 <<<"$(frame_place "$DIALOG")"
centred "$X0" "$Y0" || desktop_fail "the first start did not centre the dialog: $X0 $Y0"
xdotool type --delay 20 "time.example.test"
read -r cx cy <<<"$(xwininfo -id "$DIALOG" | awk '/Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 } END { print x, y }')"
xdotool mousemove $((cx + 60)) $((cy - 8))
sleep 0.2
xdotool mousedown 1
sleep 0.2
for _ in 1 2 3 4 5 6; do
    xdotool mousemove_relative -- -25 -20
    sleep 0.05
done
sleep 0.2
xdotool mouseup 1
sleep 0.3
read -r X1 Y1 <<<"$(frame_place "$DIALOG")"
[ "$X1" != "$X0" ] && [ "$Y1" != "$Y0" ] || desktop_fail "the dialog could not be dragged: $X0 $Y0"
import -window root "$ARTIFACTS/dragged.png"

# Save, then Setup: where the user left it.
xdotool key alt+s
waitfor '! dialog_window >/dev/null' || desktop_fail "Save left the dialog up"
tray_setup
[ "$(frame_place "$DIALOG")" = "$X1 $Y1" ] || desktop_fail "after Save and Setup the dialog moved: $(frame_place "$DIALOG"), not $X1 $Y1"

# Exit stores the frame's place as decimal text.
exit_dialog
[ "$(stored Left) $(stored Top)" = "$X1 $Y1" ] || desktop_fail "stored $(stored Left) $(stored Top), not $X1 $Y1"

# The next run opens the dialog where it was, to the pixel.
kronvik_start "$APP" "$W"
waitfor '[ -n "$(tray_icon_geometry kronvik)" ]' 100 || desktop_fail "no tray icon"
tray_setup
[ "$(frame_place "$DIALOG")" = "$X1 $Y1" ] || desktop_fail "after a restart the dialog is at $(frame_place "$DIALOG"), not $X1 $Y1"
import -window root "$ARTIFACTS/after-restart.png"
exit_dialog
[ "$(stored Left) $(stored Top)" = "$X1 $Y1" ] || desktop_fail "the place crept to $(stored Left) $(stored Top)"

# A place on a monitor that is gone opens the dialog centred.
sed -i 's/^"TSetupForm_Left"=.*/"TSetupForm_Left"="3000"/' "$STORE"
kronvik_start "$APP" "$W"
waitfor '[ -n "$(tray_icon_geometry kronvik)" ]' 100 || desktop_fail "no tray icon"
tray_setup
read -r X2 Y2 <<<"$(frame_place "$DIALOG")"
centred "$X2" "$Y2" || desktop_fail "a place off the screen was taken: $X2 $Y2"
import -window root "$ARTIFACTS/off-screen-place.png"
exit_dialog
echo PASS
