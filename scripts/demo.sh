#!/usr/bin/env bash
# Installs what is missing, builds the program and runs its demonstration: a
# small site with a week of poll logs, imported and posted, then a summary per
# employee. Runs unattended (nothing is read from standard input).
#   scripts/demo.sh [DIR]     DIR defaults to ./demo-site
set -euo pipefail
dir="$(realpath -m "${1:-demo-site}")"
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target hxpolllog
exec build/hxpolllog demo "$dir" </dev/null
