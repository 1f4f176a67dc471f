#!/usr/bin/env bash
# Include direction: a folder's files include only their own folder and the folders listed for it here, the
# layers below. Also keeps Qt out of the core. Exits non-zero and names every wrong-way include.
set -euo pipefail
cd "$(dirname "$0")/.."

core="base platform streams compression texture archive extract"
declare -A allowed=(
  [base]=""
  [platform]="base"
  [streams]="base platform"
  [compression]="base platform"
  [texture]="base platform"
  [archive]="base platform streams compression texture"
  [extract]="base platform streams compression texture archive"
  [cli]="$core"
  [app]="$core"
  [fixtures]="base platform"
  [tools]=""
  [fuzz]="$core fixtures"
  [bench]="$core fixtures cli app"
  [tests]="$core fixtures cli app fuzz"
)

status=0
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
done < <(git ls-files -- '*.cpp' '*.h')

[[ $status -eq 0 ]] && echo "check-includes: every include runs downward"
exit $status
