#!/usr/bin/env bash
# Runs every fuzz target for a bounded time from its seed corpus.
set -uo pipefail
build=$1
seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
passed=0
failed=0
for bin in "$build"/fuzz/*/fuzz_*; do
  [ -x "$bin" ] || continue
  name=$(basename "$bin")
  seeds="$root/fuzz/corpus/${name#fuzz_}"
  work=$(mktemp -d)
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/ 2>/dev/null
  echo "== $name for ${seconds}s"
  if "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$work/" "$work" >"$work.log" 2>&1; then
    tail -n 3 "$work.log"
    passed=$((passed + 1))
  else
    tail -n 40 "$work.log"
    echo "FAILED: $name (artifacts in $work)"
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
