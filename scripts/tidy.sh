#!/usr/bin/env bash
# clang-tidy over the core libraries and the tool (the code the tests do not
# exercise through a widget). Uses the compile database of the given build.
set -euo pipefail
build=$1
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -- 'base/*.cpp' 'app/*.cpp' 'calibration/*.cpp' 'calfile/*.cpp' 'device/*.cpp' \
  'datalogs/*.cpp' 'editors/*.cpp' 'learn/*.cpp' 'devsim/*.cpp' 'tool/*.cpp')
[ ${#files[@]} -gt 0 ] || exit 0
printf '%s\n' "${files[@]}" | xargs -P "$(nproc)" -n 1 clang-tidy -quiet -p "$build" 2>/dev/null
echo "tidy: ${#files[@]} files clean"
