#!/usr/bin/env bash
# tools/check-includes.sh on small trees of its own: each case adds one file to an otherwise clean tree and
# expects the script to pass, or to fail naming that file and line. Covers the include direction, Qt in the
# core, and the system (#if on _WIN32, __linux__, Q_OS_*, ..., and system headers) outside platform/ and the
# test code.
set -euo pipefail
if ! command -v git >/dev/null; then
  echo "no git: tools/check-includes.sh lists the files through it"
  exit 77
fi
repo=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A tree of one clean header per folder, made once; each case adds its file and takes it out again.
tree="$work/tree"
mkdir -p "$tree/tools"
cp "$repo/tools/check-includes.sh" "$tree/tools/"
for folder in base platform archive app cli tests; do
  mkdir -p "$tree/$folder"
  printf '#pragma once\n#include <string>\n' >"$tree/$folder/clean.h"
done
git -C "$tree" init -q
git -C "$tree" add -A

failures=0
# expect FILE REFUSAL LINE...: the clean tree and FILE holding the LINEs; REFUSAL is the start of the line the
# script must print, after "check-includes: ", or "-" when it must pass.
expect() {
  local file=$1 refusal=$2
  shift 2
  mkdir -p "$(dirname "$tree/$file")"
  printf '%s\n' "$@" >"$tree/$file"
  git -C "$tree" add -- "$file"
  local status=0
  bash "$tree/tools/check-includes.sh" >"$work/out" 2>&1 || status=$?
  if [[ $refusal == - && $status -ne 0 ]]; then
    echo "FAIL: $file with '$*' was refused:"
    cat "$work/out"
    failures=$((failures + 1))
  elif [[ $refusal != - ]] && { [[ $status -eq 0 ]] || ! grep -qF "check-includes: $refusal" "$work/out"; }; then
    echo "FAIL: $file with '$*' was not refused with '$refusal' (exit status $status):"
    cat "$work/out"
    failures=$((failures + 1))
  fi
  git -C "$tree" rm -q -f -- "$file"
}

expect app/window.cpp - '#include "app/clean.h"' '#include "archive/clean.h"'
# The system, above platform/.
expect app/window.cpp "app/window.cpp:2: only platform/ may tell systems apart" \
  '#include <QString>' '#if defined(_WIN32)' '#endif'
expect app/window.cpp "app/window.cpp:1: only platform/ may tell systems apart" '#ifdef Q_OS_WIN' '#endif'
expect cli/main.cpp "cli/main.cpp:1: only platform/ may tell systems apart" '#ifndef _WIN32' '#endif'
expect cli/main.cpp "cli/main.cpp:2: only platform/ may tell systems apart" \
  '#include <string>' '#  if X && defined(__GLIBC__)' '#endif'
expect archive/reader.cpp "archive/reader.cpp:2: only platform/ may tell systems apart" \
  '#if 0' '#elif __linux__' '#endif'
expect base/text.cpp "base/text.cpp:1: only platform/ may tell systems apart" '#ifdef _MSC_VER' '#endif'
expect app/window.cpp "app/window.cpp:1: only platform/ may include the system's headers" \
  '#include <windows.h>'
expect cli/main.cpp "cli/main.cpp:1: only platform/ may include the system's headers" '#include <sys/stat.h>'
# The build's own macros, words that only contain a system's name, and comments are not the system.
expect app/window.cpp - '#if PARLIVEX_PNG_ICONS' '#endif'
expect app/window.cpp - '#ifdef LINUX_LIKE_NAMES' '#endif'
expect cli/main.cpp - '// On Windows (#ifdef _WIN32 in platform/) ...'
# platform/ and the test code may know the system.
expect platform/file_posix.cpp - '#include <unistd.h>' '#ifdef __linux__' '#endif'
expect tests/file_test.cpp - '#ifdef _WIN32' '#endif'
# The include direction and Qt in the core.
expect base/text.cpp "base/text.cpp:1: base/ must not include archive/clean.h" '#include "archive/clean.h"'
expect archive/reader.cpp "archive/reader.cpp: the core (archive/) must not use Qt" '#include <QByteArray>'

[[ $failures -eq 0 ]] && echo "tools/check-includes.sh refuses what it should and only that"
exit $((failures > 0))
