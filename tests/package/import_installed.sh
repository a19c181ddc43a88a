#!/bin/sh
# The unpacked program imports a site named only by a settings file and
# writes nothing under the installed tree.
#   import_installed.sh ROOT BUILD_PROGRAM WORK_DIR
set -eu
root="$(realpath "$1")" build_program="$2" work="$3"
program="$root/usr/bin/hxpolllog"
if ! "$program" --help 2>&1 | grep -q -- '--config'; then
  echo "this program has no --config yet" >&2
  exit 77
fi
rm -rf "$work"
mkdir -p "$work/home"
"$build_program" demo "$work/site" >/dev/null 2>&1
# Relative paths are taken from the settings file's folder (a bare database
# name would be looked up in the application folder).
cat >"$work/site/site.conf" <<'CONF'
[Site]
Database=./site.db
ApplicationPath=app
PollLogPath=polllogs
ErrorLogPath=logs
CONF
listing() { (cd "$root" && find . -printf '%p %s %T@\n' | sort); }
before="$(listing)"
log="$work/site/logs/QX8log.txt"
saved_before="$(grep -c 'Poll Logs Imported Successfully' "$log")"

status=0
(cd "$work" && env -u HXPOLLLOG_DB -u HXPOLLLOG_APP_DIR -u HXPOLLLOG_POLL_DIR -u HXPOLLLOG_LOG_DIR \
   -u HXPOLLLOG_CONFIG -u STATE_DIRECTORY -u LOGS_DIRECTORY HOME="$work/home" XDG_STATE_HOME="$work/home/state" \
   "$program" --config site/site.conf import --all --yes) || status=$?
# The demonstration's poll logs hold a bad line on purpose: 3 is saved with errors.
case $status in 0 | 3) ;; *) echo "import ended with status $status" >&2; exit 1 ;; esac
saved_after="$(grep -c 'Poll Logs Imported Successfully' "$log")"
[ "$saved_after" -eq $((saved_before + 1)) ] || { echo "no import was logged in $log" >&2; exit 1; }
after="$(listing)"
if [ "$before" != "$after" ]; then
  echo "written under the installed tree $root:" >&2
  printf '%s\n' "$before" >"$work/before"
  printf '%s\n' "$after" | diff "$work/before" - >&2
  exit 1
fi
