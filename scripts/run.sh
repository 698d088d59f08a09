#!/bin/sh
# Starts Kronvik on the current desktop.
set -eu
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "Kronvik is a desktop program and needs a graphical session, but DISPLAY is not set." >&2
    echo "Run 'make run' from a terminal on your desktop, or start a virtual one, e.g.:" >&2
    echo "    Xvfb :5 & DISPLAY=:5 openbox & DISPLAY=:5 trayer & DISPLAY=:5 make run" >&2
    exit 1
fi
exec "$1"
