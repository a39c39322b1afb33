#!/usr/bin/env bash
# Runs every benchmark program of an optimised build.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
for bin in "$build"/bench/*/*; do
  [ -x "$bin" ] && [ -f "$bin" ] || continue
  echo "== $(basename "$bin")"
  case "$(basename "$bin")" in
    # The program on a display of its own, as a tuner's screen shows it.
    gui_idle_bench) tests/gui/on-xvfb.sh "$bin" --benchmark_counters_tabular=true ;;
    *) "$bin" --benchmark_counters_tabular=true ;;
  esac
done
