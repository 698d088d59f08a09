#!/bin/sh
# Installs the Debian packages that building, testing and running Kronvik need.
# Idempotent: does nothing when every package is already there.
set -eu

PACKAGES="
    cmake ninja-build g++ make pkg-config clang-format clang libclang-rt-14-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libasound2-dev libjpeg62-turbo-dev libx11-dev libxres-dev libxcb1-dev libssl-dev
    fonts-dejavu-core fonts-liberation
    xvfb xauth openbox trayer xdotool x11-utils imagemagick tesseract-ocr
    dbus dbus-x11 xfce4-panel xfconf
    alsa-utils
    openbsd-inetd faketime socat rdate iproute2 util-linux libcap2-bin procps tzdata
    dovecot-core dovecot-pop3d curl openssl
    systemd polkitd
"
# The Debian package, and the checks of it and of its desktop entries.
PACKAGES="$PACKAGES desktop-file-utils appstream-util dpkg-dev file lintian"

# chronyd serves the NTP tests, unpacked into build/peers: installing chrony would remove the
# machine's systemd-timesyncd.
peers=$(cd "$(dirname "$0")/.." && pwd)/build/peers
if [ ! -x "$peers/chrony/usr/sbin/chronyd" ]; then
    mkdir -p "$peers"
    (cd "$peers" && apt-get download -q chrony && dpkg -x chrony_*.deb chrony && rm -f chrony_*.deb)
fi

missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Kronvik needs these Debian packages:$missing" >&2
    echo "Run this script as root (or: sudo apt-get install$missing)." >&2
    exit 1
fi

# Daemons that come with test peers (inetd, dovecot) must not start as system services:
# the tests start their own copies, by process id, inside private namespaces.
guard=/usr/sbin/policy-rc.d
own_guard=no
if [ ! -e "$guard" ]; then
    printf '#!/bin/sh\nexit 101\n' >"$guard"
    chmod 755 "$guard"
    own_guard=yes
fi
trap '[ "$own_guard" = yes ] && rm -f "$guard"' EXIT

export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing
