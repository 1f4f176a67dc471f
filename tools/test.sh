#!/usr/bin/env bash
# Checks that includes run down the layers and that the sources match .clang-format, then builds Parlivex and
# runs every test suite: once in a normal build, once under AddressSanitizer and UndefinedBehaviorSanitizer;
# then cross-builds the core, parlivex-cli and their suites for Windows and runs them under Wine. Installs
# missing Debian packages first (the Windows toolchain through tools/windows-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/check-includes.sh
bash tools/install-deps.sh
bash tools/check-format.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPARLIVEX_SANITIZE=ON
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

# Windows: the core, parlivex-cli and their suites under Wine (the window needs the Qt cross build, which is
# too long for every run: tools/build-windows.sh --test).
start=$SECONDS
bash tools/test-windows.sh
echo "Windows build and tests took $((SECONDS - start)) s"
