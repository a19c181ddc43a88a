#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program on a fresh demonstration
# site in ./demo-site with the embedded SQLite database.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"

site="$PWD/demo-site"
rm -rf "$site"
mkdir -p "$site"
build/hxpolllog init-db "$site/site.db"
build/hxpolllog --app-dir "$site" --log-dir "$site" --db "$site/site.db" rules
