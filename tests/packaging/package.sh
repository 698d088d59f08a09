#!/bin/bash
# The installed layout, as a person's system gets it: the files below a scratch root, the icon
# at every size, the installed program's --version, the menu, autostart and software-centre
# entries validated.
# usage: package.sh BUILD_DIR VERSION
set -u
BUILD=$1 VERSION=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in desktop-file-validate appstream-util; do
    command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
W=$(mktemp -d /tmp/kronvik-package.XXXXXX)
trap 'rm -rf "$W"' EXIT

DESTDIR=$W/root cmake --install "$BUILD" --prefix /usr >"$W/install.log" 2>&1 || { cat "$W/install.log"; fail "install"; }
R=$W/root
for f in usr/bin/kronvik usr/share/applications/kronvik.desktop etc/xdg/autostart/kronvik.desktop \
    usr/share/metainfo/org.example.kronvik.metainfo.xml usr/share/icons/hicolor/scalable/apps/kronvik.svg; do
    [ -f "$R/$f" ] || fail "$f is missing"
done
for size in 16 22 24 32 48 64 128; do
    [ "$(identify -format '%wx%h' "$R/usr/share/icons/hicolor/${size}x$size/apps/kronvik.png" 2>/dev/null)" = "${size}x$size" ] ||
        fail "no $size px icon"
done
[ "$(env -u DISPLAY "$R/usr/bin/kronvik" --version)" = "kronvik $VERSION" ] || fail "the installed program's --version"

desktop-file-validate "$R/usr/share/applications/kronvik.desktop" "$R/etc/xdg/autostart/kronvik.desktop" ||
    fail "desktop entries"
grep -qx 'X-GNOME-Autostart-enabled=true' "$R/etc/xdg/autostart/kronvik.desktop" || fail "no autostart switch"
appstream-util validate-relax --nonet "$R/usr/share/metainfo/org.example.kronvik.metainfo.xml" || fail "metainfo"
echo PASS
