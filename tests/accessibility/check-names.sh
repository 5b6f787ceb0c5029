#!/bin/sh
# The window and the boxes of a run, as a screen reader sees them through
# AT-SPI in a real X session: every control that takes the focus has a name
# that says what it is for. Exits 77 (skipped) when Xvfb, D-Bus's session
# launcher, the AT-SPI bus or Python's pyatspi is missing.
set -eu
program=$1
here=$(cd "$(dirname "$0")" && pwd)

skip() { echo "$1: skipped"; exit 77; }
command -v xvfb-run >/dev/null && command -v Xvfb >/dev/null || skip "Xvfb is not installed"
command -v dbus-launch >/dev/null || skip "dbus-launch is not installed (package dbus-x11)"
launcher=""
for candidate in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
    [ -x "$candidate" ] && launcher=$candidate
done
[ -n "$launcher" ] || skip "at-spi-bus-launcher is not installed (package at-spi2-core)"
# pyatspi belongs to the system's Python, whatever python3 comes first on PATH.
python=""
for candidate in /usr/bin/python3 python3; do
    if "$candidate" -c 'import pyatspi' >/dev/null 2>&1; then
        python=$candidate
        break
    fi
done
[ -n "$python" ] || skip "pyatspi is not installed (package python3-pyatspi)"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# A home of its own; a results folder where one sample's name is taken, so
# that the run ends in the report window.
export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp/runtime"
mkdir -p "$HOME/Desktop" "$XDG_CONFIG_HOME" "$tmp/results" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
printf 'not a picture\n' >"$tmp/results/Harbour.jpg"
printf '[Ostrell]\nText2=%s/\n' "$tmp/results" >"$XDG_CONFIG_HOME/Kelvane.conf"

export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
unset DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS
exec xvfb-run -a -s "-screen 0 1024x768x24" \
    dbus-launch --exit-with-session "$python" "$here/check-names.py" "$program"
