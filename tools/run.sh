#!/usr/bin/env bash
# Builds Parlivex and opens the window on a small demo archive made by the build. Installs missing Debian
# packages first. Needs a display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target parlivex parlivex_demo_archive
exec ./build/app/parlivex build/demo/demo.bsa
