#!/usr/bin/env bash
# Runs a command on a virtual X server of its own with Qt on the xcb
# platform: the widget tests read back what reached a real display.
set -euo pipefail
export QT_QPA_PLATFORM=xcb
exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$@"
