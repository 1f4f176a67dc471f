#!/usr/bin/env bash
# Cross-builds Parlivex for 64-bit Windows on a Debian machine and writes dist/parlivex-windows-x64.zip:
# the window (parlivex.exe), parlivex-cli.exe, the DLLs they load and a short text on running them.
#   bash tools/build-windows.sh          the zip
#   bash tools/build-windows.sh --test   the zip, then every test suite under Wine (the window's offscreen)
# The first run installs the toolchain and cross-builds Qt into ~/.cache/parlivex (tools/windows-deps.sh;
# long: see docs/WINDOWS.md), later runs reuse them.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
with_tests=OFF
[ "${1:-}" = --test ] && with_tests=ON
jobs=${PARLIVEX_JOBS:-2}
cache=${XDG_CACHE_HOME:-$HOME/.cache}/parlivex
qt=${PARLIVEX_QT_MINGW:-$cache/qt6-mingw}
build=${PARLIVEX_WINDOWS_BUILD:-build-windows}
triple=x86_64-w64-mingw32

start=$SECONDS
bash tools/windows-deps.sh --qt
echo "Toolchain and Qt ready after $((SECONDS - start)) s"
if [ $with_tests = ON ]; then
  # The Wine prefix of the tests is made while the program is built.
  source tools/wine-env.sh --background
fi

# Qt for Windows has no SVG module: the icons are rendered to PNG by a program of this machine's.
cmake -S tools/render_icons -B "$build/host-tools" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/host-tools" -j "$jobs"

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DPARLIVEX_BUILD_TESTS=$with_tests -DPARLIVEX_QT_MINGW="$qt" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DPARLIVEX_ICON_RENDERER="$repo/$build/host-tools/render_icons" >/dev/null
cmake --build "$build" -j "$jobs"
echo "Cross build done after $((SECONDS - start)) s"

# The zip: the two programs and what they load (windeployqt is not part of a cross-built Qt).
runtime_dll() { $triple-g++-posix -print-file-name="$1"; }
stage=$build/zip/parlivex-windows-x64
rm -rf "$build/zip"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/imageformats" dist
cp "$build/app/parlivex.exe" "$build/cli/parlivex-cli.exe" "$stage/"
cp "$qt/bin/Qt6Core.dll" "$qt/bin/Qt6Gui.dll" "$qt/bin/Qt6Widgets.dll" "$stage/"
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
# The preview reads JPEG entries through this reader (PNG and BMP are built into Qt6Gui); it shows no GIF
# or ICO entries, so their readers are not shipped.
cp "$qt"/plugins/imageformats/qjpeg.dll "$stage/imageformats/"
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
  cp "$(runtime_dll $dll)" "$stage/"
done
# The C++ runtime and Qt come with their symbols for debuggers: a third of the size, of no use here.
$triple-strip "$stage"/*.exe "$stage"/*.dll "$stage"/*/*.dll
sed 's/$/\r/' tools/windows-readme.txt >"$stage/README.txt"
rm -f dist/parlivex-windows-x64.zip
(cd "$build/zip" && zip -qr9 "$repo/dist/parlivex-windows-x64.zip" parlivex-windows-x64)
echo "Wrote dist/parlivex-windows-x64.zip ($(du -k dist/parlivex-windows-x64.zip | cut -f1) KiB;" \
  "$(du -sk "$stage" | cut -f1) KiB unpacked) after $((SECONDS - start)) s"

if [ $with_tests = ON ]; then
  wine_env_ready
  # The window's tests load Qt's DLLs and the C++ runtime from where they were built.
  export WINEPATH="Z:$qt/bin;Z:$(dirname "$(runtime_dll libstdc++-6.dll)");Z:$(dirname "$(runtime_dll libwinpthread-1.dll)")"
  export QT_QPA_PLATFORM=offscreen
  ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 900
  echo "Tests under Wine done after $((SECONDS - start)) s"
fi
