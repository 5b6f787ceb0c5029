#!/bin/sh
# Fails when the repository tracks what belongs in a build or a temporary
# folder: a file over 1 MB outside docs/, or a folder of photos outside the
# test data and the bundled samples. Skips (77) outside a git checkout.
cd "$1" || exit 1
git() { command git -c safe.directory="*" "$@"; }
git rev-parse --is-inside-work-tree >/dev/null 2>&1 || { echo "not a git checkout: nothing to check"; exit 77; }

status=0
# Tracked files as they stand in the work tree; one deleted meanwhile is skipped.
large=$(git ls-files -z | xargs -0 -r stat -c '%s %n' 2>/dev/null \
    | awk '$1 > 1048576 && $2 !~ /^docs\// {print $2 " (" $1 " bytes)"}')
if [ -n "$large" ]; then
    echo "tracked files over 1 MB outside docs/:"
    echo "$large"
    status=1
fi

# A folder with more than five photos is a benchmark's or a test's output.
photos=$(git ls-files | grep -iE '\.(jpe?g|png|tiff?|heic|cr2|nef|arw|dng)$' \
    | grep -vE '^(docs|tests/data)/|^app/Samples/' | sed 's#/[^/]*$##' | sort | uniq -c \
    | awk '$1 > 5 {print $2 " (" $1 " photos)"}')
if [ -n "$photos" ]; then
    echo "folders of photos outside the test data:"
    echo "$photos"
    status=1
fi
[ "$status" -eq 0 ] && echo "tracked files: nothing over 1 MB outside docs/, no folder of photos"
exit "$status"
