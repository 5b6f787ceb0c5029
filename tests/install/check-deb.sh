#!/bin/sh
# The Debian package builds with the name Debian expects, depends on what the
# program needs at run time, and holds exactly the listed files under /usr.
set -eu
build=$1
expected=$2
version=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp" >"$tmp/cpack.log" 2>&1 || {
    cat "$tmp/cpack.log" >&2
    exit 1
}
deb="$tmp/ostrell_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { echo "no $deb; made: $(ls "$tmp")" >&2; exit 1; }

dpkg-deb -I "$deb" >"$tmp/info"
field() { sed -n "s/^ $1: //p" "$tmp/info"; }
fail=0
[ "$(field Package)" = ostrell ] || { echo "Package: $(field Package)" >&2; fail=1; }
[ "$(field Section)" = graphics ] || { echo "Section: $(field Section)" >&2; fail=1; }
[ -n "$(field Maintainer)" ] || { echo "no Maintainer" >&2; fail=1; }
[ -n "$(field Description)" ] || { echo "no Description" >&2; fail=1; }
# Named by hand (the tag writer, the SVG plugins) and found by shlibdeps
# (the Qt and C++ libraries the program links).
for package in libimage-exiftool-perl libexiv2-27 libqt6svg6 libqt6widgets6 libqt6gui6 libqt6core6 libc6; do
    field Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//' | grep -qx "$package" || {
        echo "Depends lacks $package: $(field Depends)" >&2
        fail=1
    }
done

grep -v '^#' "$expected" | sed 's|^|usr/|' | sort >"$tmp/expected"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./||' | sort >"$tmp/packed"
if ! diff -u "$tmp/expected" "$tmp/packed"; then
    echo "packed files differ from the list (- missing, + unexpected)" >&2
    fail=1
fi
[ "$fail" -eq 0 ] || { cat "$tmp/info" >&2; exit 1; }

# Debian's package checker: no error (a warning or a note is shown, not failed).
if command -v lintian >/dev/null; then
    status=0
    lintian --fail-on error "$deb" >"$tmp/lintian" 2>&1 || status=$?
    grep -v '^running with root privileges' "$tmp/lintian" >&2 || true
    [ "$status" -eq 0 ] || { echo "lintian found errors" >&2; exit 1; }
fi
