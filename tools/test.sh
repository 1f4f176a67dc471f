#!/usr/bin/env bash
# Checks that includes run down the layers and that the sources match .clang-format, then builds Parlivex and
# runs every test suite: once in a normal build, once under AddressSanitizer and UndefinedBehaviorSanitizer;
# then cross-builds the core, parlivex-cli and their suites for Windows and runs them under Wine. Installs
# missing Debian packages first (the Windows toolchain through tools/windows-deps.sh). Says how long each
# step took.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
step=$SECONDS
took() {
  echo "== $1: $((SECONDS - step)) s (total $((SECONDS - start)) s)"
  step=$SECONDS
}

# A compiler cache (Debian's ccache) where one is kept between runs. A clean machine has none, and filling a
# new one would only make its run slower.
ccache_dir=${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/ccache}
if [ -z "${CCACHE_DIR:-}" ] && [ ! -d "$ccache_dir" ]; then
  ccache_dir=$HOME/.ccache
fi
if [ -d "$ccache_dir" ] && [ -w "$ccache_dir" ] && [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ]; then
  export PARLIVEX_WITH_CCACHE=1
fi

bash tools/check-includes.sh
bash tools/install-deps.sh
bash tools/check-format.sh

if [ "${PARLIVEX_WITH_CCACHE:-0}" = 1 ] && command -v ccache >/dev/null; then
  echo "Compiler cache: $ccache_dir"
  # Read by CMake when it configures a new build folder, the Windows ones included.
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  # Without these, ccache does not cache what is compiled with a precompiled header.
  export CCACHE_SLOPPINESS=${CCACHE_SLOPPINESS:+$CCACHE_SLOPPINESS,}pch_defines,time_macros
fi
took "checks and packages"

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
took "build"
ctest --test-dir build --output-on-failure -j "$jobs"
took "tests"

# Under the sanitizers only what the suites run is built.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPARLIVEX_SANITIZE=ON
cmake --build build-asan -j "$jobs" --target parlivex_test_suites
took "sanitizer build"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"
took "sanitizer tests"

# Windows: the core, parlivex-cli and their suites under Wine (the window needs the Qt cross build, which is
# too long for every run: tools/build-windows.sh --test).
bash tools/test-windows.sh
took "Windows build and tests"
