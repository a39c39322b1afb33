#!/usr/bin/env bash
# The widget, screen and end-to-end tests several times in a row while two busy loops
# compete for the cores, as on a tuner's busy laptop or a shared CI machine.
# Reports every test that failed even once; exits non-zero if any did.
#   scripts/stress.sh BUILD_DIR [RUNS]
set -uo pipefail
build=$1
runs=${2:-5}
labels='gui|screen|e2e'
logs=$(mktemp -d)

busy=()
tests=
stop_busy() {
  for pid in "${busy[@]}"; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  busy=()
}
# ctest runs in the background so a signal is handled at once, not after it.
stop_all() {
  [ -n "$tests" ] && kill "$tests" 2>/dev/null
  stop_busy
  exit 130
}
trap stop_busy EXIT
trap stop_all INT TERM
for _ in 1 2; do
  bash -c 'while :; do :; done' &
  busy+=($!)
done

rm -f "$build/Testing/Temporary/LastTestsFailed.log"
declare -A failures=()
for run in $(seq 1 "$runs"); do
  echo "== stress run $run of $runs (labels $labels, ${#busy[@]} busy loops)"
  start=$(date +%s)
  ctest --test-dir "$build" -L "$labels" --output-on-failure >"$logs/run-$run.log" 2>&1 &
  tests=$!
  wait "$tests"
  tests=
  echo "   $(grep -E 'tests passed|tests failed' "$logs/run-$run.log" | tail -n 1)" \
       "in $(($(date +%s) - start)) s"
  failed_list="$build/Testing/Temporary/LastTestsFailed.log"
  if [ -s "$failed_list" ]; then
    while IFS= read -r line; do
      name=${line#*:}
      failures[$name]=$((${failures[$name]:-0} + 1))
      echo "   FAILED: $name"
    done <"$failed_list"
    rm -f "$failed_list"
  fi
done
stop_busy

if [ ${#failures[@]} -eq 0 ]; then
  echo "stress: $runs runs, no test failed (logs in $logs)"
  exit 0
fi
echo "stress: tests that failed in $runs runs (logs in $logs):"
for name in "${!failures[@]}"; do
  echo "  $name: ${failures[$name]} of $runs"
done
exit 1
