#!/usr/bin/env bash
# Runs every fuzz target for a bounded time from its seed corpus, as many at
# once as the machine has cores (each target uses one).
#   scripts/run-fuzz.sh BUILD_DIR SECONDS
set -uo pipefail
build=$1
seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
results=$(mktemp -d)

fuzz_one() {
  local bin=$1 name seeds work
  name=$(basename "$bin")
  seeds="$root/fuzz/corpus/${name#fuzz_}"
  work=$(mktemp -d)
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/ 2>/dev/null
  if "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$work/" "$work" >"$work.log" 2>&1; then
    { echo "== $name for ${seconds}s"; tail -n 3 "$work.log"; } >"$results/$name.passed"
  else
    { echo "== $name for ${seconds}s"; tail -n 40 "$work.log"
      echo "FAILED: $name (artifacts in $work)"; } >"$results/$name.failed"
  fi
}

running=0
for bin in "$build"/fuzz/*/fuzz_*; do
  [ -x "$bin" ] || continue
  fuzz_one "$bin" &
  running=$((running + 1))
  if [ "$running" -ge "$(nproc)" ]; then
    wait -n
    running=$((running - 1))
  fi
done
wait

cat "$results"/* 2>/dev/null
passed=$(find "$results" -name '*.passed' | wc -l)
failed=$(find "$results" -name '*.failed' | wc -l)
rm -rf "$results"
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
