#!/usr/bin/env bash
# Builds Parlivex and opens the window on a small demo archive made by the build. Installs missing Debian
# packages first. Needs a display.
set -euo pipefail
cd "$(dirname "$0")/.."

# Without a display Qt gives up with an abort ("Reinstalling the application may fix this problem"): say so
# first, and how to get one. Platforms that need none (offscreen, vnc, ...) may be asked for.
platform=${QT_QPA_PLATFORM:-}
platform=${platform%%:*}
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]] &&
   [[ ! $platform =~ ^(offscreen|minimal|vnc|linuxfb|eglfs|minimalegl)$ ]]; then
  echo "tools/run.sh: no display: DISPLAY and WAYLAND_DISPLAY are not set." >&2
  echo "Run it inside an X or Wayland session (over ssh: ssh -X), or on a virtual display:" >&2
  echo "  xvfb-run -a bash tools/run.sh      (Debian package xvfb)" >&2
  exit 1
fi
bash tools/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target parlivex parlivex_demo_archive
exec ./build/app/parlivex build/demo/demo.bsa
