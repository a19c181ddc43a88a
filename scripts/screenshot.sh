#!/usr/bin/env bash
# Writes the README's pictures of the poll log window into docs/: the window,
# its print preview and the import's confirmation box, on a fresh
# demonstration site, under a virtual X display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target hxpolllog hxscreenshots
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
build/hxpolllog demo "$work/site" >/dev/null 2>&1
xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" build/hxscreenshots "$work/site" docs
