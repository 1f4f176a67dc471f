#!/usr/bin/env bash
# Checks that includes run down the layers, then builds Parlivex and runs every test suite: once in a normal
# build, once under AddressSanitizer and UndefinedBehaviorSanitizer. Installs missing Debian packages first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/check-includes.sh
bash tools/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPARLIVEX_SANITIZE=ON
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"
