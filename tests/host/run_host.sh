#!/bin/sh
# Builds the C host against the library through pkg-config and runs it.
#   run_host.sh PREFIX|BUILD_DIR HOST_SOURCE WORK_DIR
# A build tree holds its own hxpolllog.pc at the top; an install prefix has
# it somewhere below.
set -eu
prefix="$1" source="$2" work="$3"
rm -rf "$work"
mkdir -p "$work"
if [ -f "$prefix/hxpolllog.pc" ]; then
  pc="$prefix"
else
  pc="$(find "$prefix" -name hxpolllog.pc | head -n 1)"
  [ -n "$pc" ] || { echo "hxpolllog.pc is not installed under $prefix" >&2; exit 1; }
  pc="$(dirname "$pc")"
fi
export PKG_CONFIG_PATH="$pc"
test -f "$(pkg-config --variable=includedir hxpolllog)/hxpolllog.h"
libdir="$(pkg-config --variable=libdir hxpolllog)"
# HOST_CFLAGS: a sanitizer build's library needs a host built with the same sanitizers.
cc -std=c11 -Wall -Wextra -Werror ${HOST_CFLAGS:-} -o "$work/host" "$source" \
  $(pkg-config --cflags --libs hxpolllog) -Wl,-rpath,"$libdir"
mkdir -p "$work/logs"
"$work/host" "$work" "$(cd "$libdir" && pwd -P)"
# No box was shown for the missing database: the log holds no entry.
if [ -s "$work/logs/QX8log.txt" ]; then
  echo "unexpected log entries:" >&2
  cat "$work/logs/QX8log.txt" >&2
  exit 1
fi
