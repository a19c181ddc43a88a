#!/bin/sh
# systemd-analyze verify (offline) on the packaged units, their ExecStart
# pointed into the unpacked root; Documentation= is checked against the
# packaged man pages. Any complaint fails.
#   check_units.sh ROOT WORK_DIR
set -eu
root="$(realpath "$1")" work="$2"
rm -rf "$work"
mkdir -p "$work"
for unit in hxpolllog-import.service hxpolllog-import.timer hxpolllog-watch.service; do
  sed "s#=/usr/bin/hxpolllog #=$root/usr/bin/hxpolllog #" "$root/usr/lib/systemd/system/$unit" >"$work/$unit"
done
grep -q "^ExecStart=$root/usr/bin/hxpolllog import --all --yes$" "$work/hxpolllog-import.service"
out="$(MANPATH="$root/usr/share/man" SYSTEMD_LOG_LEVEL=notice systemd-analyze verify "$work"/* 2>&1)" || {
  echo "$out" >&2
  exit 1
}
if [ -n "$out" ]; then
  echo "$out" >&2
  exit 1
fi
