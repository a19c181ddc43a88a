#!/bin/sh
# The installed hxpolllog starts without the GUI libraries and libpq, and
# hands the drawing commands to the installed hxpolllog-window.
#   check_window_program.sh BINDIR/hxpolllog
set -eu
cli="$1"
if ldd "$cli" | grep -E 'libQt6(Gui|Widgets|PrintSupport)|libpq'; then
  echo "hxpolllog loads the libraries above at start-up" >&2
  exit 1
fi
out="$("$cli" help show)"
case "$out" in
  *"Opens the poll log window"*) ;;
  *) echo "hxpolllog help show printed: $out" >&2; exit 1 ;;
esac
