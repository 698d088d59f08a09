#!/bin/bash
# The Debian package of this build, as a person installs it: its metadata, its files unpacked
# into a scratch root, the installed program's libraries and --version, the menu, autostart and
# software-centre entries validated, and lintian's verdict (errors fail; warnings are printed).
# usage: package.sh BUILD_DIR VERSION
set -u
BUILD=$1 VERSION=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in lintian desktop-file-validate appstream-util; do
    command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
W=$(mktemp -d /tmp/kronvik-package.XXXXXX)
trap 'rm -rf "$W"' EXIT

cpack --config "$BUILD/CPackConfig.cmake" -B "$W" >"$W/cpack.log" 2>&1 || { cat "$W/cpack.log"; fail "cpack failed"; }
DEB=$(ls "$W"/kronvik_*.deb) || fail "no package"

field() { dpkg-deb -f "$DEB" "$1"; }
[ "$(field Version)" = "$VERSION" ] || fail "version $(field Version), not $VERSION"
field Depends | grep -q 'libqt6widgets6' || fail "no library dependencies: $(field Depends)"
field Depends | grep -q 'xdg-utils' || fail "xdg-open is not a dependency"
[ "$(dpkg-deb -I "$DEB" | sed -n '/^ Description:/,$p' | wc -l)" -ge 3 ] || fail "no long description"
dpkg-deb -e "$DEB" "$W/control"
! ls "$W/control" | grep -Eq '^(pre|post)(inst|rm)$' || fail "the package has maintainer scripts"

dpkg-deb -x "$DEB" "$W/root"
R=$W/root
for f in usr/bin/kronvik usr/share/applications/kronvik.desktop etc/xdg/autostart/kronvik.desktop \
    usr/share/metainfo/org.example.kronvik.metainfo.xml usr/share/icons/hicolor/scalable/apps/kronvik.svg; do
    [ -f "$R/$f" ] || fail "$f is missing"
done
for size in 16 22 24 32 48 64 128; do
    [ "$(identify -format '%wx%h' "$R/usr/share/icons/hicolor/${size}x$size/apps/kronvik.png" 2>/dev/null)" = "${size}x$size" ] ||
        fail "no $size px icon"
done
[ -z "$(getcap "$R/usr/bin/kronvik")" ] || fail "the installed program carries a capability"
! ldd "$R/usr/bin/kronvik" | grep 'not found' || fail "unresolved libraries"
[ "$(env -u DISPLAY "$R/usr/bin/kronvik" --version)" = "kronvik $VERSION" ] || fail "the installed program's --version"

desktop-file-validate "$R/usr/share/applications/kronvik.desktop" "$R/etc/xdg/autostart/kronvik.desktop" ||
    fail "desktop entries"
grep -qx 'X-GNOME-Autostart-enabled=true' "$R/etc/xdg/autostart/kronvik.desktop" || fail "no autostart switch"
appstream-util validate-relax --nonet "$R/usr/share/metainfo/org.example.kronvik.metainfo.xml" || fail "metainfo"

lintian --allow-root --tag-display-limit 0 "$DEB" >"$W/lintian.txt" 2>&1
grep '^[WI]: ' "$W/lintian.txt"
! grep -q '^E: ' "$W/lintian.txt" || { grep '^E: ' "$W/lintian.txt"; fail "lintian errors"; }
echo PASS
