#!/bin/sh
# The menu entry and the software-centre listing pass their validators, and
# the listing's newest release is the version being built.
set -eu
data=$1
version=$2
id=org.kelvane.Ostrell

desktop-file-validate "$data/$id.desktop"
appstreamcli validate --no-net "$data/$id.metainfo.xml"

newest=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$data/$id.metainfo.xml" | head -n 1)
if [ "$newest" != "$version" ]; then
    echo "metainfo's newest release is '$newest', the build is $version" >&2
    exit 1
fi
# The program takes no arguments: a file code in Exec would hand it some.
if grep -q '^Exec=.*%[fFuU]' "$data/$id.desktop"; then
    echo "Exec passes files to a program that takes none" >&2
    exit 1
fi
