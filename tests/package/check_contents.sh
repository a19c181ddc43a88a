#!/bin/sh
# The unpacked package holds what an installed program needs, in Debian's places.
#   check_contents.sh BUILD_DIR ROOT
set -eu
build="$1" root="$2"
deb="$(ls "$build"/hxpolllog_*.deb)"
fail=0
bad() { echo "$*" >&2; fail=1; }

lib=usr/lib/x86_64-linux-gnu
for f in usr/bin/hxpolllog usr/libexec/hxpolllog/hxpolllog-window $lib/libhxpolllog.so.0.1 usr/include/hxpolllog.h \
         $lib/pkgconfig/hxpolllog.pc $lib/cmake/HXPollLog/HXPollLogConfig.cmake \
         usr/share/man/man1/hxpolllog.1.gz usr/share/man/man5/hxpolllog.conf.5.gz \
         usr/share/bash-completion/completions/hxpolllog usr/share/applications/hxpolllog.desktop \
         usr/share/icons/hicolor/64x64/apps/hxpolllog.png etc/hxpolllog/hxpolllog.conf \
         usr/lib/systemd/system/hxpolllog-import.service usr/lib/systemd/system/hxpolllog-import.timer \
         usr/lib/systemd/system/hxpolllog-watch.service; do
  [ -f "$root/$f" ] || bad "missing: /$f"
done
[ "$(readlink "$root/$lib/libhxpolllog.so.0")" = libhxpolllog.so.0.1 ] || bad "no soname link libhxpolllog.so.0"
[ "$(readelf -d "$root/$lib/libhxpolllog.so.0.1" | sed -n 's/.*SONAME.*\[\(.*\)\]/\1/p')" = libhxpolllog.so.0 ] ||
  bad "the library's soname is not libhxpolllog.so.0"
for f in usr/bin/hxpolllog usr/libexec/hxpolllog/hxpolllog-window $lib/libhxpolllog.so.0.1; do
  if readelf -S "$root/$f" | grep -q -e '\.debug_info' -e '\.symtab'; then bad "not stripped: /$f"; fi
done
[ -n "$(ls "$build"/hxpolllog-dbgsym_*.ddeb 2>/dev/null)" ] || bad "no debug symbols package"

# The installed .pc finds the prefix from its own place.
pcvar() { realpath -m "$(PKG_CONFIG_PATH="$root/$lib/pkgconfig" pkg-config --variable="$1" hxpolllog)"; }
[ "$(pcvar includedir)" = "$(realpath "$root/usr/include")" ] || bad "pkg-config includedir: $(pcvar includedir)"
[ "$(pcvar libdir)" = "$(realpath "$root/$lib")" ] || bad "pkg-config libdir: $(pcvar libdir)"

# Man pages without groff warnings, the desktop entry valid, the example
# settings all commented out and marked as a conffile.
for page in man1/hxpolllog.1.gz man5/hxpolllog.conf.5.gz; do
  out="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$root/usr/share/man/$page" 2>&1 >/dev/null)"
  [ -z "$out" ] || bad "man $page: $out"
done
desktop-file-validate "$root/usr/share/applications/hxpolllog.desktop" || bad "desktop entry invalid"
grep -q '^Exec=hxpolllog show$' "$root/usr/share/applications/hxpolllog.desktop" || bad "desktop entry does not run show"
if grep -v -e '^;' -e '^$' "$root/etc/hxpolllog/hxpolllog.conf"; then bad "settings not all commented out"; fi
dpkg-deb -e "$deb" "$build/control"
grep -qx /etc/hxpolllog/hxpolllog.conf "$build/control/conffiles" || bad "hxpolllog.conf is not a conffile"
for s in postinst postrm; do sh -n "$build/control/$s" || bad "$s: syntax"; done

depends="$(dpkg-deb -f "$deb" Depends)"
for p in libqt6core6 libqt6widgets6 libqt6sql6 libqt6sql6-sqlite libqt6sql6-psql libpq5 adduser; do
  echo "$depends" | tr ',' '\n' | grep -q "^ *$p\( \|$\)" || bad "Depends lacks $p: $depends"
done

# The completion offers the commands, each command's options and the globals.
complete() {
  bash -c '. /usr/share/bash-completion/bash_completion; . "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _hxpolllog; echo "${COMPREPLY[*]}"' sh "$root/usr/share/bash-completion/completions/hxpolllog" "$@"
}
while IFS='|' read -r words want; do
  # shellcheck disable=SC2086
  got="$(complete $words)"
  [ "$got" = "$want" ] || bad "completion of '$words': '$got', want '$want'"
done <<'TABLE'
hxpolllog i|init-db import
hxpolllog --db x.db pa|paths
hxpolllog --conf|--config
hxpolllog import --all --i|--include-seen
hxpolllog watch --|--settle
hxpolllog help wa|watch
hxpolllog list --|--json
TABLE
exit $fail
