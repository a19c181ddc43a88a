#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest. Then
# runs each fuzz target for a short while (build-fuzz/, clang) and the whole
# CTest suite once more under AddressSanitizer and UndefinedBehaviorSanitizer
# (build-asan/). HX_FUZZ_SECONDS sets the time of each fuzz target (20);
# HX_SKIP_FUZZ=1 and HX_SKIP_ASAN=1 leave those parts out.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
(cd build && ctest --output-on-failure -j"$(nproc)")

section() { printf '\n== %s (%s)\n' "$1" "$(date -u +%H:%M:%S)"; }

if [ "${HX_SKIP_FUZZ:-0}" != 1 ]; then
  section "fuzz targets"
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHX_FUZZ=ON \
    -DHX_BUILD_TESTS=OFF
  cmake --build build-fuzz -j"$(nproc)" --target fuzzers
  mkdir -p build-fuzz/artifacts
  for corpus in tests/fuzz/corpus/*/; do
    name=$(basename "$corpus")
    # New inputs go to a scratch folder; the committed seeds and reproducers
    # are only read, and every one of them is run first.
    found=build-fuzz/found/$name
    rm -rf "$found" && mkdir -p "$found"
    echo "-- $name"
    "build-fuzz/fuzz/$name" -max_total_time="${HX_FUZZ_SECONDS:-20}" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="build-fuzz/artifacts/$name-" "$found" "$corpus"
  done
fi

if [ "${HX_SKIP_ASAN:-0}" != 1 ]; then
  section "sanitizer build"
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHX_SANITIZE=ON
  cmake --build build-asan -j"$(nproc)"
  section "tests under the sanitizers"
  (cd build-asan &&
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
    LSAN_OPTIONS="suppressions=$PWD/../tests/sanitizer/lsan.supp" \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --output-on-failure -j"$(nproc)")
fi
section "done"
