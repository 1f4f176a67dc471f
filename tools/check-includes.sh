#!/usr/bin/env bash
# Include direction: a folder's files include only their own folder and the folders listed for it here, the
# layers below. Also keeps Qt out of the core, and the operating system inside platform/: no system #if
# (_WIN32, __linux__, __GLIBC__, Q_OS_WIN, ...) and no system header (<windows.h>, <unistd.h>, <sys/...>)
# anywhere else in the program. The test code (tests/, fixtures/, fuzz/, bench/) may use both: it makes
# links, spawns processes and skips what a system cannot do. Exits non-zero and names every offence.
set -euo pipefail
cd "$(dirname "$0")/.."

core="base platform streams compression texture archive extract data_folder"
declare -A allowed=(
  [base]=""
  [platform]="base"
  [streams]="base platform"
  [compression]="base platform"
  [texture]="base platform"
  [archive]="base platform streams compression texture"
  [extract]="base platform streams compression texture archive"
  [data_folder]="base platform streams compression texture archive extract"
  [cli]="$core"
  [app]="$core"
  [fixtures]="base platform"
  [tools]=""
  [fuzz]="$core fixtures"
  [bench]="$core fixtures cli app"
  [tests]="$core fixtures cli app fuzz"
)

# Where the system may show: platform/ and the test code.
system_allowed="platform tests fixtures fuzz bench"
# The macros that tell systems, compilers or C libraries apart. The build's own feature macros
# (PARLIVEX_PNG_ICONS) are fine.
system_macros='_WIN32|_WIN64|WIN32|_WINDOWS|__CYGWIN__|__MINGW32__|__MINGW64__|_MSC_VER|__linux__|__linux|linux'
system_macros+='|__unix__|__unix|unix|__APPLE__|__MACH__|__FreeBSD__|__NetBSD__|__OpenBSD__|__ANDROID__|__GLIBC__'
system_macros+='|_POSIX_VERSION|_POSIX_C_SOURCE|_GNU_SOURCE|Q_OS_[A-Z0-9_]+|Q_CC_[A-Z0-9_]+'
system_if="^[[:space:]]*#[[:space:]]*(if|ifdef|ifndef|elif|elifdef|elifndef)([^A-Za-z0-9_].*)?[^A-Za-z0-9_]($system_macros)([^A-Za-z0-9_]|\$)"
system_headers='windows|winbase|winnt|shellapi|shlobj|io|direct|malloc|unistd|fcntl|dirent|pwd|grp|spawn|termios'
system_headers+='|poll|dlfcn|pthread|sys/[A-Za-z0-9_]+'
system_include="^[[:space:]]*#[[:space:]]*include[[:space:]]*<($system_headers)\.h>"

status=0
above_platform=() # the files where the system must not show
while IFS= read -r file; do
  folder=${file%%/*}
  if [[ -z ${allowed[$folder]+set} ]]; then
    echo "check-includes: $file: folder '$folder' has no row in tools/check-includes.sh" >&2
    status=1
    continue
  fi
  while IFS=: read -r line included; do
    target=${included%%/*}
    [[ $target == "$folder" || -z ${allowed[$target]+set} ]] && continue
    if [[ " ${allowed[$folder]} " != *" $target "* ]]; then
      echo "check-includes: $file:$line: $folder/ must not include $included" >&2
      status=1
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"' "$file" |
           sed -E 's/^([0-9]+):[^"]*"([^"]+)".*/\1:\2/')
  if [[ " $core " == *" $folder "* ]] && grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' "$file" >/dev/null; then
    echo "check-includes: $file: the core ($folder/) must not use Qt" >&2
    status=1
  fi
  if [[ " $system_allowed " != *" $folder "* ]]; then
    above_platform+=("$file")
  fi
done < <(git ls-files -- '*.cpp' '*.h')

# One grep over all of them: a process per file and check makes the script slow on a busy machine.
if [[ ${#above_platform[@]} -gt 0 ]]; then
  while IFS=: read -r file line text; do
    echo "check-includes: $file:$line: only platform/ may tell systems apart: $text" >&2
    status=1
  done < <(grep -nHE "$system_if" -- "${above_platform[@]}" || true)
  while IFS=: read -r file line text; do
    echo "check-includes: $file:$line: only platform/ may include the system's headers: $text" >&2
    status=1
  done < <(grep -nHE "$system_include" -- "${above_platform[@]}" || true)
fi

[[ $status -eq 0 ]] && echo "check-includes: every include runs downward, and only platform/ knows the system"
exit $status
