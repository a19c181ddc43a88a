#!/usr/bin/env bash
# Builds the Debian package: configures BUILD_DIR (default build-deb) for
# /usr without the tests, builds the program and the library and runs
# cpack. Prints the path of the package; its debug symbols are in the
# -dbgsym package beside it.
#   scripts/package.sh [BUILD_DIR]
set -euo pipefail
build=""
[ $# -gt 0 ] && build="$(realpath -m "$1")"
cd "$(dirname "$0")/.."
[ -n "$build" ] || build="$PWD/build-deb"
bash scripts/setup.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr -DHX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target hxpolllog hxpolllog_shared
cd "$build"
rm -f ./*.deb ./*.ddeb
cpack -G DEB >/dev/null
ls "$build"/hxpolllog_*.deb
