#!/usr/bin/env bash
# Installs what is missing, builds the program into build/ and runs its
# demonstration: a site with a week of poll logs, imported and posted through
# the import command, then a summary per employee. Runs unattended (nothing is
# read from standard input).
#   scripts/demo.sh [DIR]     DIR defaults to ./demo-site in the source tree;
#                             a previous demonstration site there is replaced.
set -euo pipefail
dir=""
[ $# -gt 0 ] && dir="$(realpath -m "$1")"
cd "$(dirname "$0")/.."
[ -n "$dir" ] || dir="$PWD/demo-site"
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The program and the library: what `cmake --install build` installs.
cmake --build build -j"$(nproc)" --target hxpolllog hxpolllog_shared
exec build/hxpolllog demo "$dir" </dev/null
