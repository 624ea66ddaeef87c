#!/usr/bin/env bash
# The window as a screen reader meets it: a private D-Bus session with the accessibility (AT-SPI)
# bus, a virtual X display, and atspi_walk.py as the client. $1: the test_gui program.
set -euo pipefail
here=$(dirname "$0")
for tool in dbus-run-session xvfb-run /usr/libexec/at-spi-bus-launcher; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is missing (./dev.sh installs it)"
        exit 77
    fi
done
# Debian's python3-pyatspi belongs to the system's Python, whatever else the PATH offers.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
if ! "$python" -c 'import pyatspi' 2>/dev/null; then
    echo "SKIP: python3-pyatspi is missing (./dev.sh installs it)"
    exit 77
fi
exec dbus-run-session -- xvfb-run -a -s "-screen 0 1280x800x24" "$python" "$here/atspi_walk.py" "$1"
