#!/usr/bin/env bash
# Installs the Debian packages Parlivex builds with, skipping those already there. The Windows cross build's
# (mingw-w64, Wine and the libraries built for Windows) are installed by tools/windows-deps.sh.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  zlib1g-dev liblz4-dev libicu-dev
  qt6-base-dev qt6-svg-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libsquish-dev
  clang-format
)
if [ "${PARLIVEX_WITH_FUZZ:-0}" = 1 ]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The compiler cache, which tools/test.sh asks for where a cache folder is kept. Only a help: without it the
# build is the same.
if [ "${PARLIVEX_WITH_CCACHE:-0}" = 1 ] && ! command -v ccache >/dev/null; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  echo "Installing: ccache"
  { "${sudo_cmd[@]}" apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends ccache; } ||
    echo "ccache could not be installed: building without it"
fi
