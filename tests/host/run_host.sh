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
cc -std=c11 -Wall -Wextra -Werror -pthread ${HOST_CFLAGS:-} -o "$work/host" "$source" \
  $(pkg-config --cflags --libs hxpolllog) -Wl,-rpath,"$libdir"
mkdir -p "$work/logs"

# A site for the headless import: the demonstration site, with a poll log of
# today's punches at its front entrance that no import has met yet.
site="$work/site"
"$prefix/bin/hxpolllog" demo "$site" >"$work/demo.txt" 2>&1 || { cat "$work/demo.txt" >&2; exit 1; }
poll="000000$(date +%y).}01"
day="$(date +%m/%d)"
record() { # badge sequence HHMM department in/out: 58 characters and CR LF
  printf '%010d %s  %s  %s %s 0000000000 000000 AB00  %s \r\n' "$1" "$2" "$day" "$3" "$4" "$5"
}
{
  printf ';host poll\r\n'
  record 1003 9001 0600 20 I
  record 1003 9002 1400 20 O
  record 1005 9003 0630 40 I
} >"$site/polllogs/$poll"

# The installed library's default state folder, inside the scratch folder.
export XDG_STATE_HOME="$work/state"
unset STATE_DIRECTORY LOGS_DIRECTORY
"$work/host" "$work" "$(cd "$libdir" && pwd -P)" "$site" "$poll"
# No box was shown for the missing database: the log holds no entry.
if [ -s "$work/logs/QX8log.txt" ]; then
  echo "unexpected log entries:" >&2
  cat "$work/logs/QX8log.txt" >&2
  exit 1
fi
