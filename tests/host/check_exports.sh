#!/bin/sh
# The library exports exactly the functions of hxpolllog.h.
set -eu
got="$(nm -D --defined-only "$1" | awk '$2 ~ /^[TtWw]$/ {print $3}' | sort)"
want="hx_can_unload_now
hx_create_object
hx_get_property
hx_import
hx_last_error
hx_release
hx_set_property
hx_show_poll_log
hx_version"
if [ "$got" != "$want" ]; then
  echo "exported functions differ:" >&2
  echo "$got" >&2
  exit 1
fi
