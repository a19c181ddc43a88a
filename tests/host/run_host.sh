#!/bin/sh
# Builds the C host against the installed library through pkg-config and runs it.
#   run_host.sh PREFIX HOST_SOURCE WORK_DIR
set -eu
prefix="$1" source="$2" work="$3"
rm -rf "$work"
mkdir -p "$work"
pc="$(dirname "$(find "$prefix" -name hxpolllog.pc | head -n 1)")"
[ -n "$pc" ] || { echo "hxpolllog.pc is not installed under $prefix" >&2; exit 1; }
export PKG_CONFIG_PATH="$pc"
test -f "$(pkg-config --variable=includedir hxpolllog)/hxpolllog.h"
libdir="$(pkg-config --variable=libdir hxpolllog)"
# HOST_CFLAGS: a sanitizer build's library needs a host built with the same sanitizers.
cc -std=c11 -Wall -Wextra -Werror ${HOST_CFLAGS:-} -o "$work/host" "$source" \
  $(pkg-config --cflags --libs hxpolllog) -Wl,-rpath,"$libdir"
mkdir -p "$work/logs"
# The installed library's default state folder, inside the scratch folder.
export XDG_STATE_HOME="$work/state"
unset STATE_DIRECTORY LOGS_DIRECTORY
"$work/host" "$work" "$(cd "$libdir" && pwd -P)"
# No box was shown for the missing database: the log holds no entry.
if [ -s "$work/logs/QX8log.txt" ]; then
  echo "unexpected log entries:" >&2
  cat "$work/logs/QX8log.txt" >&2
  exit 1
fi
