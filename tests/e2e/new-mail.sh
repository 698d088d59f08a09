#!/bin/bash
# New mail end to end: a dial-up link, a timeserver and dovecot with two messages inside a private
# network namespace, the real program on a real X desktop in the same namespace (its clock calls
# caught by the preload shim), set to look every minute and to offer the mail program. The link
# brings the time; then the check must bring up the second tray icon, whose frames change, and
# play the new-mail sound; a click must ask with the exact text, and "&Yes" must start the mail
# program. On a desktop whose panel hosts StatusNotifierItems ("sni"), the new-mail icon is a
# second item of the program's, and a click on it asks the same; else the icons sit in the X tray.
# That run reaches the mailbox over pop3s://, dovecot requiring TLS with a test CA's certificate.
# usage: new-mail.sh xembed|sni KRONVIK TIMESHIM SOUNDS_DIR ARTIFACT_DIR
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
PEERS=$HERE/../peers
DESKTOP=$1 APP=$2 SHIM=$3 SOUNDS=$4 ARTIFACTS=$5
SECURE=$([ "$DESKTOP" = sni ] && echo yes)

command -v tesseract >/dev/null || { echo "skipped: tesseract-ocr is not installed"; exit 77; }
. "$HERE/namespace.sh"
namespace_setup() {
    # dovecot's mail processes run as nobody and must reach the maildir below.
    chmod 755 "$W"
    { [ -z "$SECURE" ] || "$PEERS/tls-certs.sh" "$W/certs"; } &&
        "$PEERS/dialup-up.sh" "$NS" ppp0 192.0.2.2 192.0.2.1 "$W" &&
        "$PEERS/timesrv-start.sh" "$NS" "$W/timeserver" '2026-12-08 12:00:00' >/dev/null &&
        "$PEERS/pop3srv-start.sh" "$NS" "$W/dovecot" 2 ${SECURE:+"$W/certs"} >/dev/null
}
namespace_teardown() {
    "$PEERS/pop3srv-stop.sh" "$W/dovecot"
    "$PEERS/timesrv-stop.sh" "$W/timeserver"
    "$PEERS/dialup-down.sh" "$NS" ppp0 "$W"
}
namespace_enter "$0" "$@"

. "$HERE/desktop.sh"
. "$HERE/sni-desktop.sh"
. "$HERE/kronvik.sh"
kronvik_desktop "$ARTIFACTS" "$([ "$DESKTOP" = sni ] && echo sni)"

kronvik_tray_icons() { tray_icon_geometries kronvik | sort -u; }

# icons: how many icons the program shows, in the X tray or as items of the panel.
icons() {
    if [ "$DESKTOP" = sni ]; then sni_items_of "$KRONVIK_PID"; else kronvik_tray_icons | wc -l; fi
}

# The password as the settings store keeps it: each byte moved up by its position and 0x4B.
scrambled() {
    _p=1 _out=""
    for _c in $(printf %s "$1" | od -An -tu1); do
        _out="$_out${_out:+,}$(printf %02x $(((_c + _p + 0x4B) % 256)))"
        _p=$((_p + 1))
    done
    echo "$_out"
}

MAIL_PROGRAM=$W/mail-program
printf '#!/bin/sh\necho started >"%s"\n' "$W/mail-program.ran" >"$MAIL_PROGRAM"
chmod +x "$MAIL_PROGRAM"
cat >"$STORE" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Kronvik\\Server]
"Address"="192.0.2.2"
"TimeMode"="1"
"DetectMode"="0"

[HKEY_CURRENT_USER\\Kronvik\\EmailVfy]
"POPServer"="$([ -n "$SECURE" ] && echo pop3s://localhost || echo 127.0.0.1)"
"Username"="tester"
"Password"=hex(1):$(scrambled secret)
"Interval"="1"
"Action"="1"
"EmailClient"="$MAIL_PROGRAM"
REG
# The server counts a message's size as stored, line ends included.
OCTETS=$(cat "$W"/dovecot/home/tester/Maildir/new/* | wc -c)

ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 SSL_CERT_FILE=$W/certs/ca.crt \
    LD_PRELOAD=$SHIM TIMESHIM_LOG=$W/clock.log kronvik_start "$APP" "$W"
waitfor '[ "$(icons)" = 1 ]' 100 || desktop_fail "no tray icon"
# The new link brings the time first (the timeserver answers on this computer's address on the
# link, so that the query's own address is the link's and the link stays known).
waitfor '[ "$(wc -l <"$W/clock.log" 2>/dev/null)" = 1 ]' 100 || desktop_fail "the link did not bring the time"
FIRST=$(kronvik_tray_icons)
# The first check comes one interval (a minute) after the start.
waitfor '[ "$(icons)" = 2 ]' 900 || { cp "$W/dovecot/dovecot.log" "$W/kronvik.err" "$ARTIFACTS/"; desktop_fail "no new-mail icon within 90 s"; }
if [ "$DESKTOP" = sni ]; then
    # The newer item takes the place before the older one's.
    sleep 0.5
    read -r X Y <<<"$(sni_item_point 2)"
    WIDTH=24 HEIGHT=24 X=$((X - 12)) Y=$((Y - 12))
else
    read -r X Y WIDTH HEIGHT <<<"$(kronvik_tray_icons | grep -vxF "$FIRST" | head -1)"
fi

# The frames change once a second: four looks 0.7 s apart see more than one picture.
sleep 0.5
for i in 1 2 3 4; do
    import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" "$ARTIFACTS/new-mail-icon-$i.png"
    sleep 0.7
done
import -window root "$ARTIFACTS/new-mail.png"
frames=$(for i in 1 2 3 4; do convert "$ARTIFACTS/new-mail-icon-$i.png" rgba:- | md5sum; done | sort -u | wc -l)
[ "$frames" -ge 2 ] || desktop_fail "the new-mail icon does not change its picture"
[ -z "$SECURE" ] || grep -q 'Login: user=<tester>.*, TLS,' "$W/dovecot/dovecot.log" || desktop_fail "no login over TLS"

# The new-mail sound: the captured samples begin with the resource's.
mail=$SOUNDS/WAV_MAIL.wav
samples=$(($(stat -c %s "$mail") - 44))
waitfor "[ \$(stat -c %s '$W/sound.wav' 2>/dev/null || echo 0) -ge $((samples + 44)) ]" 50 ||
    { cp "$W/kronvik.err" "$W/clock.log" "$ARTIFACTS/"; desktop_fail "no sound was played"; }
cmp -s -n "$samples" <(tail -c +45 "$W/sound.wav") <(tail -c +45 "$mail") || desktop_fail "the sound played is not the new-mail sound"

# A click while the user works in another program's window: the question comes before it, with
# the focus. Then the question, word for word (read off the screen: the text column of the box,
# beside the icon and above the buttons).
xmessage -geometry 300x200+600+400 "another program" >/dev/null 2>&1 &
COVER=$!
waitfor '[ "$(active_window_name)" = xmessage ]' || desktop_fail "the other window did not take the focus"
xdotool mousemove 750 430 click 1
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) mousedown 1
sleep 0.15
xdotool mouseup 1
waitfor 'xdotool search --onlyvisible --name "^Confirm$" >/dev/null 2>&1' 100 || desktop_fail "no question after the click"
BOX=$(xdotool search --onlyvisible --name '^Confirm$' | head -1)
[ "$(xdotool getwindowpid "$BOX")" = "$KRONVIK_PID" ] || desktop_fail "the question is not Kronvik's"
waitfor '[ "$(active_window_name)" = Confirm ]' 50 || desktop_fail "the question does not have the focus"
kill "$COVER"
wait "$COVER" 2>/dev/null
sleep 0.5
import -window root "$ARTIFACTS/question.png"
import -window "$BOX" "$W/box.png"
read -r BOX_W BOX_H <<<"$(identify -format '%w %h' "$W/box.png")"
convert "$W/box.png" -crop "$((BOX_W - 55))x$((BOX_H - 45))+55+0" -colorspace Gray -resize 300% -threshold 60% \
    "$ARTIFACTS/question-text.png"
read_text=$(tesseract "$ARTIFACTS/question-text.png" - --psm 6 2>/dev/null | grep -v '^[[:space:]]*$' | paste -sd '|')
expected="You have 2 new messages,|totalizing $OCTETS octets.|Get the new mail now?"
[ "$read_text" = "$expected" ] || desktop_fail "the question reads '$read_text', not '$expected'"
[ "$(icons)" = 1 ] || desktop_fail "the new-mail icon is still there while the question is up"

# "&Yes" starts the mail program.
xdotool windowactivate --sync "$BOX" key alt+y
waitfor '[ -s "$W/mail-program.ran" ]' 50 || desktop_fail "the mail program was not started"
! xdotool search --onlyvisible --name '^(Confirm|Warning)$' >/dev/null 2>&1 || desktop_fail "a box is still up"
if [ "$DESKTOP" = sni ]; then
    pid=$KRONVIK_PID
    kronvik_stop
    [ "$(sni_items_of "$pid")" = 0 ] || desktop_fail "an item outlived the program"
else
    tray_menu_exit "$ARTIFACTS/menu-after-mail.png"
fi
echo PASS
