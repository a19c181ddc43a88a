#!/usr/bin/env bash
# Redraws the window's icons (src/window/icons/*.png) from scripts/icons/make_icons.cpp.
set -euo pipefail
cd "$(dirname "$0")/.."
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
c++ -std=c++20 -fPIC -O1 scripts/icons/make_icons.cpp -o "$tmp/make_icons" $(pkg-config --cflags --libs Qt6Gui)
QT_QPA_PLATFORM=offscreen "$tmp/make_icons" src/window/icons
