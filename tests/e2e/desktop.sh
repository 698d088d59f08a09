# A private X desktop for end-to-end runs: Xvfb, the openbox window manager and the trayer
# tray host, each started by this shell and stopped by process id. Source it; call
# desktop_start WORKDIR, and desktop_stop on exit (trap).

DESKTOP_PIDS=""
TRAY_PID=""

desktop_fail() { echo "FAIL: $*" >&2; exit 1; }

# waitfor CONDITION [TENTHS]: polls a shell condition every 0.1 s, 5 s unless told otherwise.
waitfor() {
    _n=${2:-50}
    while [ "$_n" -gt 0 ]; do
        eval "$1" && return 0
        sleep 0.1
        _n=$((_n - 1))
    done
    return 1
}

# desktop_start WORKDIR [notray|bare]: the display, the window manager (not when "bare") and the
# tray host (neither when "notray" nor when "bare").
desktop_start() {
    _w=$1
    mkdir -p "$_w/xdg" "$_w/home"
    chmod 700 "$_w/xdg"
    exec 3>"$_w/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$_w/xvfb.log" 2>&1 &
    DESKTOP_PIDS="$!"
    exec 3>&-
    waitfor "[ -s '$_w/display' ]" || desktop_fail "Xvfb did not start"
    DISPLAY=:$(cat "$_w/display")
    export DISPLAY
    # This desktop's tray is XEmbed only: no session bus. Left unset, the address would let a
    # program start a bus of its own through X (dbus-x11).
    export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
    export XDG_RUNTIME_DIR="$_w/xdg" HOME="$_w/home" QT_QPA_PLATFORM=xcb
    [ "${2:-}" = bare ] && return 0
    openbox >"$_w/openbox.log" 2>&1 &
    DESKTOP_PIDS="$! $DESKTOP_PIDS"
    waitfor 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' || desktop_fail "openbox did not start"
    [ "${2:-}" = notray ] || tray_start "$_w"
}

# tray_start WORKDIR: the panel's tray host, as a desktop starts it (sometimes after its programs).
tray_start() {
    trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
        --transparent false --tint 0xcccccc >>"$1/trayer.log" 2>&1 &
    TRAY_PID=$!
    DESKTOP_PIDS="$TRAY_PID $DESKTOP_PIDS"
    waitfor 'xdotool search --onlyvisible --class trayer >/dev/null 2>&1' || desktop_fail "trayer did not start"
}

# tray_stop: the tray host ends, as when a panel restarts.
tray_stop() {
    [ -n "$TRAY_PID" ] || return 0
    kill "$TRAY_PID" 2>/dev/null
    wait "$TRAY_PID" 2>/dev/null
    DESKTOP_PIDS=$(echo " $DESKTOP_PIDS " | sed "s/ $TRAY_PID / /")
    TRAY_PID=""
}

desktop_stop() {
    for _p in $DESKTOP_PIDS; do
        kill "$_p" 2>/dev/null
    done
    for _p in $DESKTOP_PIDS; do
        wait "$_p" 2>/dev/null
    done
    DESKTOP_PIDS=""
}

# tray_icon_geometries NAME: "X Y W H" (screen coordinates) of each small window that program
# NAME keeps embedded in the tray host, a line each; nothing while there is none.
tray_icon_geometries() {
    xwininfo -root -tree 2>/dev/null | awk -v title="\"$1\":" -v class="(\"$1\"" '
        $2 == title && $3 == class {
            size = ""; at = ""
            for (i = 1; i <= NF; i++) {
                if ($i ~ /^[0-9]+x[0-9]+[-+][0-9]+[-+][0-9]+$/) size = $i
                else if ($i ~ /^[-+][0-9]+[-+][0-9]+$/) at = $i
            }
            split(size, s, /[x+-]/)
            split(substr(at, 2), p, /[+-]/)
            if (s[1] <= 64 && s[2] <= 64) print p[1], p[2], s[1], s[2]
        }'
}

# tray_icon_geometry NAME: the first of them.
tray_icon_geometry() { tray_icon_geometries "$1" | head -1; }
