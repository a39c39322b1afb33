#!/usr/bin/env bash
# Starts the program against the simulated device, so the whole program runs
# live without the car's unit. Extra arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
program=build/release/gui/veloquin
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$program" --simulate "$@"
fi
echo "No display here: running on a virtual X display (xvfb-run); stop it with Ctrl+C." >&2
exec xvfb-run -a "$program" --simulate "$@"
