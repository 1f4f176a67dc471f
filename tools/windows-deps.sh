#!/usr/bin/env bash
# Installs what the Windows cross build needs on a Debian machine, skipping every step whose result is
# already there.
#   bash tools/windows-deps.sh        mingw-w64, Wine, zlib, and lz4, libsquish, GoogleTest built for Windows:
#                                     enough for the core, parlivex-cli and their tests
#   bash tools/windows-deps.sh --qt   the above, then Qt 6 (Widgets, Test) cross-built from Debian's
#                                     qt6-base source: needed for the window and its tests (~30 min)
# Libraries go to $PARLIVEX_MINGW_PREFIX (default ~/.cache/parlivex/mingw), Qt to $PARLIVEX_QT_MINGW
# (default ~/.cache/parlivex/qt6-mingw). Runs as root or through sudo.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

with_qt=0
[ "${1:-}" = --qt ] && with_qt=1

cache=${XDG_CACHE_HOME:-$HOME/.cache}/parlivex
prefix=${PARLIVEX_MINGW_PREFIX:-$cache/mingw}
qt_prefix=${PARLIVEX_QT_MINGW:-$cache/qt6-mingw}
src=$cache/src
toolchain=$repo/cmake/mingw-w64-x86_64.cmake
jobs=${PARLIVEX_JOBS:-2}
triple=x86_64-w64-mingw32
mkdir -p "$src" "$prefix"

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
apt_install() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
    --no-install-recommends "${missing[@]}"
}

# Source packages need deb-src entries for the suites the binary packages come from.
add_deb_src() {
  if grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ || grep -qs '^deb-src ' /etc/apt/sources.list; then
    return 0
  fi
  echo "Adding deb-src entries" >&2
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] || continue
    sed -n '/^Types:/ s/\<deb\>/deb-src/; p' "$f" |
      "${sudo_cmd[@]}" tee "/etc/apt/sources.list.d/parlivex-src-$(basename "$f")" >/dev/null
  done
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list |
      "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/parlivex-src.list >/dev/null
  fi
  "${sudo_cmd[@]}" apt-get update -qq >&2
}

# Unpacks Debian's source package $1 below $src and prints its directory.
fetch_source() {
  local dir
  dir=$(find "$src" -mindepth 1 -maxdepth 1 -type d -name "$1-*" | head -n1)
  if [ -z "$dir" ]; then
    add_deb_src
    (cd "$src" && apt-get source -qq "$1" >&2)
    dir=$(find "$src" -mindepth 1 -maxdepth 1 -type d -name "$1-*" | head -n1)
  fi
  echo "$dir"
}

apt_install cmake ninja-build pkg-config dpkg-dev zip \
  mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix libz-mingw-w64-dev \
  wine wine64 googletest

# liblz4: the four files of the library, built as a static library with a pkg-config file.
if [ ! -f "$prefix/lib/liblz4.a" ]; then
  lz4=$(fetch_source lz4)
  echo "Building lz4 for Windows from $lz4"
  build=$(mktemp -d)
  for c in lz4 lz4hc lz4frame xxhash; do
    $triple-gcc-posix -O2 -c "$lz4/lib/$c.c" -o "$build/$c.o"
  done
  mkdir -p "$prefix/lib/pkgconfig" "$prefix/include"
  $triple-ar rcs "$prefix/lib/liblz4.a" "$build"/*.o
  cp "$lz4/lib/lz4.h" "$lz4/lib/lz4hc.h" "$lz4/lib/lz4frame.h" "$prefix/include/"
  version=$(sed -n 's/^#define LZ4_VERSION_\(MAJOR\|MINOR\|RELEASE\) *\([0-9]*\).*/\2/p' "$lz4/lib/lz4.h" | paste -sd.)
  cat >"$prefix/lib/pkgconfig/liblz4.pc" <<PC
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include
Name: lz4
Description: lz4 built for Windows
Version: $version
Libs: -L\${libdir} -llz4
Cflags: -I\${includedir}
PC
  rm -rf "$build"
fi

# libsquish: the reference decoder the texture tests compare with, its .cpp files built as a static library.
if [ ! -f "$prefix/lib/libsquish.a" ]; then
  squish=$(fetch_source libsquish)
  echo "Building libsquish for Windows from $squish"
  build=$(mktemp -d)
  for c in "$squish"/*.cpp; do
    $triple-g++-posix -O2 -c "$c" -o "$build/$(basename "$c" .cpp).o"
  done
  mkdir -p "$prefix/lib" "$prefix/include"
  $triple-ar rcs "$prefix/lib/libsquish.a" "$build"/*.o
  cp "$squish/squish.h" "$prefix/include/"
  rm -rf "$build"
fi

# GoogleTest and GoogleMock from the sources Debian's googletest package installs.
if [ ! -f "$prefix/lib/libgtest.a" ]; then
  echo "Building GoogleTest for Windows"
  build=$(mktemp -d)
  cmake -S /usr/src/googletest -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DPARLIVEX_MINGW_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -Dgtest_disable_pthreads=OFF >/dev/null
  cmake --build "$build" -j "$jobs"
  cmake --install "$build" >/dev/null
  rm -rf "$build"
fi

[ $with_qt = 1 ] || exit 0

# Qt 6 for Windows from Debian's qt6-base source, the version of the host Qt whose moc, rcc and uic
# the cross build uses.
if [ ! -f "$qt_prefix/lib/cmake/Qt6Widgets/Qt6WidgetsConfig.cmake" ]; then
  apt_install qt6-base-dev qt6-base-dev-tools
  qt_src=$(fetch_source qt6-base)
  echo "Building Qt for Windows from $qt_src into $qt_prefix (about 30 minutes on two cores)"
  build=$cache/qt6-mingw-build
  mkdir -p "$build"
  # A build that was stopped halfway goes on where it stopped: configure only once.
  if [ ! -f "$build/build.ninja" ]; then
  # No tablet library in the +dfsg source; without Direct2D the windows plugin needs DirectWrite 3 off
  # too; the bundled FreeType is what the offscreen plugin of the tests renders text with.
  (cd "$build" && "$qt_src/configure" -prefix "$qt_prefix" -release -xplatform win32-g++ \
    -qt-host-path /usr -nomake examples -nomake tests \
    -no-opengl -no-dbus -no-icu -no-feature-sql -no-feature-network -no-feature-printsupport \
    -no-feature-tabletevent -no-feature-direct2d -no-feature-directwrite3 \
    -qt-zlib -qt-pcre -qt-libpng -qt-libjpeg -qt-harfbuzz -qt-freetype \
    -- -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DPARLIVEX_MINGW_PREFIX="$prefix" \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake)
  fi
  nice -n 19 cmake --build "$build" -j "$jobs"
  cmake --install "$build" >/dev/null
  rm -rf "$build"
fi
