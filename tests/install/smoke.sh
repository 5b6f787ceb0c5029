#!/bin/sh
# The installed program in a real X window: type a title, load the samples
# (answering No to opening their folder), start the run, and read the title
# back from every copy in the results folder. Exits 77 (skipped) without Xvfb.
# The program gets a session bus of the test's own, as a desktop gives it one:
# without one, Qt's accessibility bridge starts one from inside the program
# and waits for it with no time limit before the window can show.
set -eu
build=$1
samples=$2
value="Harbour light, 5 o'clock"

if [ -z "${OSTRELL_SMOKE_DISPLAY:-}" ]; then
    command -v xvfb-run >/dev/null && command -v Xvfb >/dev/null || {
        echo "Xvfb is not installed: skipped"
        exit 77
    }
    bus=""
    command -v dbus-run-session >/dev/null && bus="dbus-run-session --"
    unset DBUS_SESSION_BUS_ADDRESS
    exec xvfb-run -a -s "-screen 0 1024x768x24" $bus env OSTRELL_SMOKE_DISPLAY=1 sh "$0" "$@"
fi

tmp=$(mktemp -d)
pid=""
cleanup() {
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT

DESTDIR="$tmp/root" cmake --install "$build" --prefix /usr >/dev/null

# A home of its own: settings, desktop and results never touch the user's.
export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" QT_QPA_PLATFORM=xcb
mkdir -p "$HOME/Desktop" "$XDG_CONFIG_HOME" "$tmp/results"
printf '[Ostrell]\nText2=%s/\n' "$tmp/results" >"$XDG_CONFIG_HOME/Kelvane.conf"

"$tmp/root/usr/bin/ostrell" >"$tmp/ostrell.log" 2>&1 &
pid=$!

# Polls (up to 60 s) until the program shows the given number of windows,
# and prints one: a box over the main window when there is one.
windows() {
    tries=0
    while :; do
        found=$(xdotool search --onlyvisible --name '^Ostrell$' 2>/dev/null || true)
        if [ "$(printf '%s' "$found" | grep -c .)" -eq "$1" ]; then
            printf '%s\n' "$found" | grep -vx "${window:-none}" | tail -n 1
            return 0
        fi
        kill -0 "$pid" 2>/dev/null || { echo "the program ended" >&2; cat "$tmp/ostrell.log" >&2; exit 1; }
        tries=$((tries + 1))
        if [ "$tries" -gt 600 ]; then
            echo "not $1 window(s) named Ostrell after 60 s; shown:" >&2
            xdotool search --onlyvisible --name . getwindowname %@ >&2 || true
            cat "$tmp/ostrell.log" >&2
            # Where the program waits, for whoever reads the failure.
            if command -v gdb >/dev/null; then
                gdb -p "$pid" -batch -ex "thread apply all bt 20" 2>/dev/null | grep -E '^(#|Thread)' >&2 || true
            fi
            exit 1
        fi
        sleep 0.1
    done
}
# Clicks a point given in the window's own pixels.
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
# Keys go to the window that has the focus; there is no window manager to give it.
keys() { xdotool windowfocus "$1"; shift; xdotool "$@"; }

window=""
window=$(windows 1)
click 247 301                             # the value box
keys "$window" type --delay 10 "$value"
click 400 185                             # Load Sample/Example Files
box=$(windows 2)
keys "$box" key Escape                    # No: do not open the samples' folder
windows 1 >/dev/null
click 268 439                             # Start Changing
box=$(windows 2)                          # Done.
keys "$box" key Return
windows 1 >/dev/null

fail=0
names=$(cd "$samples" && ls)
written=$(cd "$tmp/results" && ls)
if [ "$names" != "$written" ]; then
    printf 'results folder holds:\n%s\nexpected:\n%s\n' "$written" "$names" >&2
    fail=1
fi
for name in $names; do
    title=$(exiftool -s3 -XPTitle "$tmp/results/$name" 2>/dev/null || true)
    [ "$title" = "$value" ] || { echo "$name: title '$title'" >&2; fail=1; }
done
exit "$fail"
