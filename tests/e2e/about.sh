#!/bin/bash
# The About box on a real X desktop: opened from the tray menu it shows the picture and the
# version block of the program's own file; a click on the picture plays its sound; a click on
# the address hands a mailto: link with the subject to the desktop's opener; "Ok" closes it and
# the program stays in the tray. Opened from the dialog, it comes up over it. A log-off while
# it is open ends the program cleanly.
# usage: about.sh KRONVIK SOUNDS_DIR ARTIFACT_DIR
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
APP=$1
SOUNDS=$2
ARTIFACTS=$3
. "$HERE/desktop.sh"
. "$HERE/kronvik.sh"

kronvik_desktop "$ARTIFACTS"
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Kronvik\\Server]\n"Address"="time.example.test"\n' \
    >"$STORE"
# The desktop's opener, as the program finds it on the PATH: it only notes what it was given.
mkdir -p "$W/bin"
printf '#!/bin/sh\nprintf "%%s\\n" "$@" >>"%s"\n' "$W/opened" >"$W/bin/xdg-open"
chmod +x "$W/bin/xdg-open"
export PATH="$W/bin:$PATH"

about_window() { xdotool search --onlyvisible --name '^About Kronvik$' 2>/dev/null | head -1 | grep .; }

# inside X Y: clicks at a point of the About box (client coordinates).
click_in_about() {
    local ax ay
    read -r ax ay <<<"$(xwininfo -id "$ABOUT" | awk '/Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 } END { print x, y }')"
    xdotool mousemove $((ax + $1)) $((ay + $2))
    sleep 0.1
    xdotool mousedown 1
    sleep 0.1
    xdotool mouseup 1
}

kronvik_start "$APP" "$W"
waitfor '[ -n "$(tray_icon_geometry kronvik)" ]' 100 || desktop_fail "no tray icon"
read -r X Y WIDTH HEIGHT <<<"$(tray_icon_geometry kronvik)"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) mousedown 3
sleep 0.15
xdotool mouseup 3
waitfor 'menu_window >/dev/null' || desktop_fail "the tray menu did not open"
sleep 0.3
xdotool key Up Up Return
waitfor 'about_window >/dev/null' 100 || desktop_fail "About did not open the box"
ABOUT=$(about_window)
[ "$(xdotool getwindowpid "$ABOUT")" = "$KRONVIK_PID" ] || desktop_fail "the box is not Kronvik's"
waitfor '[ "$(active_window_name)" = "About Kronvik" ]' || desktop_fail "the box does not have the focus"
! dialog_window >/dev/null || desktop_fail "About from the tray showed the dialog"
sleep 0.3
import -window root "$ARTIFACTS/about-from-tray.png"
# The picture is there: its middle is neither the box's grey nor empty.
read -r ax ay <<<"$(xwininfo -id "$ABOUT" | awk '/Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 } END { print x, y }')"
colours=$(convert "$ARTIFACTS/about-from-tray.png" -crop "97x73+$((ax + 23))+$((ay + 22))" -format '%k' info:)
[ "$colours" -gt 500 ] || desktop_fail "the picture is missing ($colours colours where it should be)"

# The picture's sound.
click_in_about 60 50
zolb=$SOUNDS/WAV_ZOLB.wav
samples=$(($(stat -c %s "$zolb") - 44))
waitfor "[ \$(stat -c %s '$W/sound.wav' 2>/dev/null || echo 0) -ge $((samples + 44)) ]" 50 || desktop_fail "the picture played no sound"
cmp -s -n "$samples" <(tail -c +45 "$W/sound.wav") <(tail -c +45 "$zolb") || desktop_fail "the picture played another sound"

# The address: a new mail to the author, with the program's name and version as the subject.
click_in_about $((8 + 88 + 68)) $((8 + 152 + 6))
waitfor "[ -s '$W/opened' ]" 50 || desktop_fail "the address opened nothing"
grep -qx 'mailto:kronvik@example.org?subject=Kronvik!%20-%20Version%20%203.0.3.0' "$W/opened" ||
    desktop_fail "the opener was given: $(cat "$W/opened")"

xdotool key Return
waitfor '! about_window >/dev/null' || desktop_fail "Ok did not close the box"
sleep 0.5
kill -0 "$KRONVIK_PID" || desktop_fail "closing the box ended the program"
! dialog_window >/dev/null || desktop_fail "the dialog came up after the box"

# From the dialog: the box comes up over it.
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) mousedown 3
sleep 0.15
xdotool mouseup 3
waitfor 'menu_window >/dev/null' || desktop_fail "the tray menu did not open again"
sleep 0.3
xdotool key Down Down Return
waitfor 'dialog_window >/dev/null' || desktop_fail "Setup did not open the dialog"
sleep 0.3
xdotool key alt+a
waitfor 'about_window >/dev/null' 100 || desktop_fail "the dialog's About did not open the box"
waitfor '[ "$(active_window_name)" = "About Kronvik" ]' || desktop_fail "the box is not in front of the dialog"
sleep 0.3
import -window root "$ARTIFACTS/about-from-dialog.png"

# Log-off while the box is open.
kill -TERM "$KRONVIK_PID"
waitfor '! kill -0 "$KRONVIK_PID" 2>/dev/null' 50 || desktop_fail "log-off did not end the program with the box open"
wait "$KRONVIK_PID"
status=$?
KRONVIK_PID=""
[ "$status" = 0 ] || desktop_fail "log-off with the box open ended the program with status $status"
echo PASS
