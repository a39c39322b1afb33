#!/usr/bin/env bash
# The floors of the code: every folder includes only itself and the folders
# below it (docs/architecture.md draws them). Fails, naming file and line,
# on an include that runs upward or sideways.
set -euo pipefail
cd "$(dirname "$0")/.."

# folder: the folders it may include besides itself.
declare -A may_include=(
  [base]=""
  [calibration]="base"
  [calfile]="base calibration"
  [datalogs]="base calibration calfile"
  [device]="base calibration calfile datalogs"
  [editors]="base calibration calfile datalogs"
  [learn]="base calibration calfile datalogs editors"
  [devsim]="base calibration calfile device"
  [app]="base calibration calfile datalogs device editors learn"
  [tool]="base calibration calfile datalogs device editors learn devsim app"
  [gui]="base calibration calfile datalogs device editors learn devsim app"
)

status=0
for folder in "${!may_include[@]}"; do
  [ -d "$folder" ] || continue
  allowed=" $folder ${may_include[$folder]} "
  while IFS=: read -r file line text; do
    target=$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"$text")
    if [[ "$allowed" != *" $target "* ]]; then
      echo "$file:$line: $folder may not include $target/ ($text)" >&2
      status=1
    fi
  done < <(grep -rnE '^#include "[^"/]+/' --include='*.h' --include='*.cpp' "$folder" || true)
done
if [ "$status" -eq 0 ]; then echo "layers: every include runs downward"; fi
exit "$status"
