#!/bin/sh
# A host compiles and links against the build tree through build/hxpolllog.pc.
#   build_tree_pc.sh BUILD_DIR HOST_SOURCE WORK_DIR
set -eu
build="$1" source="$2" work="$3"
rm -rf "$work"
mkdir -p "$work"
export PKG_CONFIG_PATH="$build"
libdir="$(pkg-config --variable=libdir hxpolllog)"
[ "$libdir" = "$build/lib" ] || { echo "libdir is $libdir, not $build/lib" >&2; exit 1; }
# HOST_CFLAGS: a sanitizer build's library needs a host built with the same sanitizers.
cc -std=c11 -Wall -Wextra -Werror ${HOST_CFLAGS:-} -o "$work/host" "$source" \
  $(pkg-config --cflags --libs hxpolllog) -Wl,-rpath,"$libdir"
ldd "$work/host" | grep -q "libhxpolllog.so.0 => $libdir/libhxpolllog.so.0 " ||
  { ldd "$work/host" >&2; exit 1; }
