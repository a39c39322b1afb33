#!/usr/bin/env bash
# Starts the program against the simulated device. Until the desktop program
# exists this shows what the command-line tool offers.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/release
if [ -x "$bin/app/veloquin" ]; then
  exec "$bin/app/veloquin" --simulate "$@"
fi
"$bin/tool/veloquin-tool" help
