#!/usr/bin/env bash
# tools/run.sh without a display says how to get one and exits 1 before it installs or builds anything
# (Qt would abort at the end of the build); with a display, or with a Qt platform that needs none, it goes
# on. Runs a copy of the script whose next step is a stand-in that exits 42.
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tools"
cp "$1/tools/run.sh" "$work/tools/run.sh"
echo 'exit 42' >"$work/tools/install-deps.sh"

failures=0
# expect STATUS WHAT [VARIABLE=VALUE...]: runs the copy with only the given display variables set.
expect() {
  local expected=$1 what=$2
  shift 2
  local status=0
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" bash "$work/tools/run.sh" >"$work/out" 2>&1 ||
    status=$?
  if [[ $status -ne $expected ]]; then
    echo "FAIL: $what: exit status $status, expected $expected"
    cat "$work/out"
    failures=$((failures + 1))
  elif [[ $expected -eq 1 ]] && ! { grep -q "no display" "$work/out" && grep -q "xvfb-run" "$work/out"; }; then
    echo "FAIL: $what: the message does not say how to get a display"
    cat "$work/out"
    failures=$((failures + 1))
  fi
}

expect 1 "no display at all"
expect 1 "the X platform without X" QT_QPA_PLATFORM=xcb
expect 42 "an X display" DISPLAY=:99
expect 42 "a Wayland display" WAYLAND_DISPLAY=wayland-0
expect 42 "the offscreen platform" QT_QPA_PLATFORM=offscreen
expect 42 "the offscreen platform with options" QT_QPA_PLATFORM=offscreen:size=800x600

[[ $failures -eq 0 ]] && echo "tools/run.sh checks for a display first"
exit $((failures > 0))
