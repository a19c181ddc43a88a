#!/bin/sh
# Builds the Debian package with scripts/package.sh and unpacks it.
#   build_package.sh SOURCE_DIR BUILD_DIR ROOT
set -eu
source="$1" build="$2" root="$3"
bash "$source/scripts/package.sh" "$build" >/dev/null
rm -rf "$root"
set -- "$build"/hxpolllog_*.deb
[ $# -eq 1 ] && [ -f "$1" ] || { echo "expected one package in $build, found: $*" >&2; exit 1; }
dpkg-deb -x "$1" "$root"
