#!/bin/sh
# Installs the Windows package silently under Wine into a folder of its own,
# checks what it put where (program folder, uninstaller, Start-menu entry,
# installed-programs entry), starts the installed program, and uninstalls it
# silently, leaving nothing of it behind.
#   check-installer.sh WINE_RUN SETUP_EXE
set -u
wine_run=$1
setup=$2
[ -f "$setup" ] || { echo "SKIP: no installer yet (cpack makes it)"; exit 77; }

fail() { echo "FAIL: $*"; exit 1; }
target_win='C:\OstrellInstallCheck'
prefix=$(sed -n 's/^export WINEPREFIX="\(.*\)" .*/\1/p' "$wine_run")
target="$prefix/drive_c/OstrellInstallCheck"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ostrell'
rm -rf "$target"

"$wine_run" "$setup" /S "/D=$target_win" </dev/null >/dev/null 2>&1 || fail "silent install exited $?"
for file in ostrell.exe uninstall.exe Qt6Core.dll Qt6Widgets.dll platforms/qwindows.dll \
    imageformats/qjpeg.dll libexiv2.dll libexpat-1.dll zlib1.dll libstdc++-6.dll \
    libwinpthread-1.dll exiftool.exe exiftool_files/perl.exe Samples/Harbour.jpg \
    licences/Qt-LGPL-3.txt licences/ExifTool.txt; do
    [ -f "$target/$file" ] || fail "$file was not installed"
done
for unwanted in Qt6Test.dll platforms/qoffscreen.dll platforms/qminimal.dll; do
    [ ! -e "$target/$unwanted" ] || fail "$unwanted is shipped but never used"
done
find "$prefix/drive_c" -path '*Start Menu*' -name 'Ostrell.lnk' | grep -q . || fail "no Start-menu entry"
"$wine_run" reg query "$uninstall_key" /v UninstallString 2>/dev/null </dev/null | tr -d '\r' \
    >"$target.reg" || true
grep -qi 'uninstall.exe' "$target.reg" || fail "no entry in the installed programs list"
rm -f "$target.reg"

# The installed program, with only what it was installed with (its own
# Windows platform plugin), shows its window in a private X server and keeps
# running until it is closed.
command -v Xvfb >/dev/null || fail "Xvfb is missing (package xvfb)"
display=:$(( ($$ % 400) + 100 ))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
server=$!
sleep 2
DISPLAY=$display "$wine_run" "$target_win\\ostrell.exe" </dev/null >/dev/null 2>&1 &
program=$!
sleep 10
if ! kill -0 "$program" 2>/dev/null; then
    wait "$program"
    status=$?
    kill "$server"
    fail "the installed program ended at once (status $status)"
fi
kill "$program"
wait "$program" 2>/dev/null
kill "$server"
wait "$server" 2>/dev/null

"$wine_run" "$target_win\\uninstall.exe" /S </dev/null >/dev/null 2>&1 || fail "silent uninstall exited $?"
# The uninstaller copies itself away and returns at once; its copy finishes.
for _ in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15; do
    [ ! -e "$target/ostrell.exe" ] \
        && ! "$wine_run" reg query "$uninstall_key" </dev/null >/dev/null 2>&1 && break
    sleep 1
done
[ ! -e "$target/ostrell.exe" ] || fail "the program is still there after uninstalling"
"$wine_run" reg query "$uninstall_key" </dev/null >/dev/null 2>&1 && fail "the installed programs list still names it"
echo "PASS: installed, started and uninstalled silently"
