#!/bin/sh
# An install into a DESTDIR puts exactly the listed files in place, and the
# bitmap icons have the sizes their folders name.
set -eu
build=$1
expected=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

DESTDIR="$tmp/root" cmake --install "$build" --prefix /usr >/dev/null

grep -v '^#' "$expected" | sed 's|^|usr/|' | sort >"$tmp/expected"
(cd "$tmp/root" && find . -type f | sed 's|^\./||' | sort) >"$tmp/installed"
if ! diff -u "$tmp/expected" "$tmp/installed"; then
    echo "installed files differ from the list (- missing, + unexpected)" >&2
    exit 1
fi

for size in 48 128 256; do
    png="$tmp/root/usr/share/icons/hicolor/${size}x${size}/apps/org.kelvane.Ostrell.png"
    file "$png" | grep -q "PNG image data, $size x $size," || {
        echo "not a ${size}x${size} PNG: $(file "$png")" >&2
        exit 1
    }
done
[ -x "$tmp/root/usr/bin/ostrell" ] || { echo "the program is not executable" >&2; exit 1; }
gzip -t "$tmp/root/usr/share/man/man1/ostrell.1.gz"
