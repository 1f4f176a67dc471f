#!/usr/bin/env bash
# Builds the Debian package dist/parlivex_<version>_<architecture>.deb: a Release build with Debian's
# hardening flags, packed by CPack from what `cmake --install` installs (see packaging/deb/package.cmake),
# then checked by lintian when it is installed. Installs the Debian packages it misses first.
#
#   bash tools/build-deb.sh
#   apt install ./dist/parlivex_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
build=${PARLIVEX_DEB_BUILD:-build-deb}

bash tools/install-deps.sh
# dpkg-shlibdeps (dpkg-dev) computes the dependencies from the programs; CPack asks file which are programs.
missing=()
for p in dpkg-dev file; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Debian's flags for packages, with every hardening option, less the debugging data (the programs are
# stripped) and -O2 (the Release build's -O3 holds). CMake reads no CPPFLAGS: they join the compiler's flags.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
export DEB_CXXFLAGS_MAINT_STRIP="-g -O2"
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
# The changelog's date: the last commit's, so that the same sources make the same package.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git rev-parse --git-dir >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
  export SOURCE_DATE_EPOCH
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPARLIVEX_BUILD_TESTS=OFF -DPARLIVEX_BUILD_APP=ON \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags"
cmake --build "$build" -j "$(nproc)"
(cd "$build" && cpack -G DEB)

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
package=dist/parlivex_${version}_$(dpkg --print-architecture).deb
if command -v lintian >/dev/null; then
  lintian --fail-on error "$package"
else
  echo "lintian is not installed: the package is not checked (apt-get install lintian)"
fi
echo "Package: $package ($(du -k "$package" | cut -f1) KiB)"
