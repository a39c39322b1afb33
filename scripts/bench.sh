#!/usr/bin/env bash
# Runs every benchmark program of an optimised build.
set -euo pipefail
build=$1
for bin in "$build"/bench/*/*; do
  [ -x "$bin" ] && [ -f "$bin" ] || continue
  echo "== $(basename "$bin")"
  "$bin" --benchmark_counters_tabular=true
done
