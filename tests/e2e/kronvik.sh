# Starting and driving the real program on the desktop of desktop.sh. Source after desktop.sh.

KRONVIK_PID=""

# kronvik_environment WORKDIR: a fresh settings folder, and sound played into WORKDIR/sound.wav.
kronvik_environment() {
    export XDG_CONFIG_HOME="$1/config"
    sed "s|@CAPTURE_FILE@|$1/sound.wav|" "$HERE/../peers/asoundrc-capture" >"$1/asoundrc"
    export ALSA_CONFIG_PATH="/usr/share/alsa/alsa.conf:$1/asoundrc"
}

kronvik_start() {
    "$1" >>"$2/kronvik.out" 2>>"$2/kronvik.err" &
    KRONVIK_PID=$!
}

kronvik_stop() {
    [ -n "$KRONVIK_PID" ] || return 0
    kill "$KRONVIK_PID" 2>/dev/null
    wait "$KRONVIK_PID" 2>/dev/null
    KRONVIK_PID=""
}

dialog_window() { xdotool search --onlyvisible --name '^Kronvik Setup$' 2>/dev/null | head -1 | grep .; }

active_window_name() { xdotool getactivewindow getwindowname 2>/dev/null; }

# The tray menu: a popup window of Kronvik's that is not the icon itself.
menu_window() {
    xwininfo -root -tree | awk '/\("kronvik" "kronvik"\)/ && !/"Kronvik Setup"/ && !/ 22x/ && !/ 1x1/ { print $1; exit }' | grep .
}

# tray_menu_open SCREENSHOT: a right press on the icon opens the menu, then a screenshot.
tray_menu_open() {
    read -r _x _y _w _h <<<"$(tray_icon_geometry kronvik)"
    # Pressed and released as a hand does: the menu opens on the press, and a release that
    # comes in the same instant (xdotool's own click under load) would close it again.
    xdotool mousemove $((_x + _w / 2)) $((_y + _h / 2)) mousedown 3
    sleep 0.15
    xdotool mouseup 3
    waitfor 'menu_window >/dev/null' || { import -window root "$1.failed.png"; xwininfo -root -tree >"$1.failed.tree"; desktop_fail "the tray menu did not open"; }
    sleep 0.3
    import -window root "$1"
}

# tray_menu_exit SCREENSHOT: the menu's last item, "Exit", ends the program.
tray_menu_exit() {
    tray_menu_open "$1"
    xdotool key Up Return
    for _ in $(seq 50); do
        kill -0 "$KRONVIK_PID" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$KRONVIK_PID" 2>/dev/null; then
        desktop_fail "Exit did not end the program"
    fi
    wait "$KRONVIK_PID"
    _status=$?
    KRONVIK_PID=""
    [ "$_status" = 0 ] || desktop_fail "the program ended with status $_status"
}

# kronvik_desktop ARTIFACT_DIR [notray|sni]: the desktop of desktop.sh in W (with "sni", the
# StatusNotifierItem panel of sni-desktop.sh, sourced first) with a fresh settings folder;
# everything started is stopped when the script ends. Without W (outside a namespace of
# namespace.sh) a work folder W is made and removed at the end. STORE is the settings file.
kronvik_desktop() {
    [ -z "$1" ] || mkdir -p "$1"
    _own_w=""
    if [ -z "${W:-}" ]; then
        W=$(mktemp -d /tmp/kronvik-e2e.XXXXXX)
        _own_w=$W
    fi
    if [ "${2:-}" = sni ]; then
        trap 'kronvik_stop; sni_desktop_stop; [ -z "$_own_w" ] || rm -rf "$_own_w"' EXIT
        sni_desktop_start "$W"
    else
        trap 'kronvik_stop; desktop_stop; [ -z "$_own_w" ] || rm -rf "$_own_w"' EXIT
        desktop_start "$W" ${2:-}
    fi
    kronvik_environment "$W"
    mkdir -p "$XDG_CONFIG_HOME/kronvik"
    STORE=$XDG_CONFIG_HOME/kronvik/user.reg
}
