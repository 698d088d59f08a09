# A private desktop whose panel hosts StatusNotifierItems: Xvfb, a session bus of its own,
# openbox and xfce4-panel 4.18 with a one-panel configuration (its notification area hosts
# StatusNotifierItems and XEmbed icons alike). Source after desktop.sh; call
# sni_desktop_start WORKDIR [nopanel], and sni_desktop_stop on exit (trap). Everything is
# started by this shell and stopped by process id.

SNI_BUS_PID=""
SNI_PANEL_PID=""
SNI_DESKTOP_FILES=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# sni_desktop_start WORKDIR [nopanel]: the display, the bus, the window manager and (unless told
# "nopanel") the panel.
sni_desktop_start() {
    _w=$1
    mkdir -p "$_w/xdg" "$_w/services" "$_w/home/.config/xfce4/xfconf/xfce-perchannel-xml" "$_w/home/.cache"
    chmod 700 "$_w/xdg"
    cp "$SNI_DESKTOP_FILES/sni-panel.xml" "$_w/home/.config/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml"
    ln -sf /usr/share/dbus-1/services/org.xfce.Xfconf.service "$_w/services/"
    sed -e "s#@RUNTIME@#$_w/xdg#" -e "s#@SERVICES@#$_w/services#" "$SNI_DESKTOP_FILES/sni-session.conf.in" >"$_w/session.conf"
    exec 3>"$_w/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$_w/xvfb.log" 2>&1 &
    DESKTOP_PIDS="$!"
    exec 3>&-
    waitfor "[ -s '$_w/display' ]" || desktop_fail "Xvfb did not start"
    DISPLAY=:$(cat "$_w/display")
    # Set before the bus starts: the bus starts the panel's settings daemon, which finds its
    # configuration through the bus's environment.
    export DISPLAY HOME="$_w/home" XDG_CONFIG_HOME="$_w/home/.config" XDG_CACHE_HOME="$_w/home/.cache" \
        XDG_RUNTIME_DIR="$_w/xdg" NO_AT_BRIDGE=1 QT_QPA_PLATFORM=xcb
    dbus-daemon --config-file="$_w/session.conf" --fork --print-address=3 --print-pid=4 \
        3>"$_w/bus.address" 4>"$_w/bus.pid" || desktop_fail "the session bus did not start"
    SNI_BUS_PID=$(cat "$_w/bus.pid")
    DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$_w/bus.address")
    export DBUS_SESSION_BUS_ADDRESS
    openbox >"$_w/openbox.log" 2>&1 &
    DESKTOP_PIDS="$! $DESKTOP_PIDS"
    waitfor 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' || desktop_fail "openbox did not start"
    [ "${2:-}" = nopanel ] || sni_panel_start "$_w"
}

sni_watcher_running() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.kde.StatusNotifierWatcher 2>/dev/null | grep -q 'boolean true'
}

# sni_panel_start WORKDIR: the panel, as a desktop starts it (sometimes after its programs); it
# runs in a session of its own, with the plugin processes it starts.
sni_panel_start() {
    XDG_CONFIG_HOME="$1/home/.config" setsid xfce4-panel >>"$1/panel.log" 2>&1 &
    SNI_PANEL_PID=$!
    waitfor sni_watcher_running 100 || desktop_fail "the panel's StatusNotifierWatcher did not start"
}

sni_panel_stop() {
    [ -n "$SNI_PANEL_PID" ] || return 0
    kill -- "-$SNI_PANEL_PID" 2>/dev/null
    wait "$SNI_PANEL_PID" 2>/dev/null
    SNI_PANEL_PID=""
}

sni_desktop_stop() {
    sni_panel_stop
    if [ -n "$SNI_BUS_PID" ]; then
        # The bus started the settings daemon: the bus knows its process.
        _p=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.GetConnectionUnixProcessID string:org.xfce.Xfconf 2>/dev/null |
            awk '/uint32/ { print $2 }')
        [ -n "$_p" ] && kill "$_p" 2>/dev/null
        kill "$SNI_BUS_PID" 2>/dev/null
        SNI_BUS_PID=""
    fi
    desktop_stop
}

# sni_items: the items registered with the panel's watcher, one "service/path" a line.
sni_items() {
    dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
        org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher \
        string:RegisteredStatusNotifierItems 2>/dev/null | awk -F'"' '/string/ { print $2 }'
}

# sni_items_of PID: how many items process PID has registered (its names carry its pid).
sni_items_of() { sni_items | grep -c "^org\.kde\.StatusNotifierItem-$1-"; }

# sni_item_point [N]: "X Y", the middle of the N-th place from the end (the last by default) in
# the panel's notification area, where a program's only item is shown; the panel runs along the
# top, its area at the end, one square place per item, newer items before older ones.
sni_item_point() {
    xwininfo -root -tree 2>/dev/null | awk -v n="${1:-1}" '
        /"xfce4-panel": \("xfce4-panel" "Xfce4-panel"\)/ {
            for (i = 1; i <= NF; i++) if ($i ~ /^[0-9]+x[0-9]+[-+][0-9]+[-+][0-9]+$/) size = $i
            split(size, s, /[x+-]/)
            if (s[1] > s[2]) { print int(s[3] + s[1] - s[2] * (n - 0.5)), int(s[4] + s[2] / 2); exit }
        }'
}

# sni_menu_window: the menu the panel draws for an item (a window of its notification area's
# process at the top level, larger than an icon); nothing while none is open.
sni_menu_window() {
    xwininfo -root -tree 2>/dev/null | awk '
        /^     0x/ && /\("wrapper-2.0" "Wrapper-2.0"\)/ {
            for (i = 1; i <= NF; i++) if ($i ~ /^[0-9]+x[0-9]+[-+][0-9]+[-+][0-9]+$/) size = $i
            split(size, s, /[x+-]/)
            if (s[1] > 40 && s[2] > 40) { print $1; exit }
        }' | grep .
}

# sni_press BUTTON: presses and releases BUTTON over the program's item as a hand does.
sni_press() {
    read -r _x _y <<<"$(sni_item_point)"
    xdotool mousemove "$_x" "$_y" mousedown "$1"
    sleep 0.15
    xdotool mouseup "$1"
}
