#!/usr/bin/env bash
# Runs a widget test program on a virtual X server with the xcb platform, as on a desktop.
# Exits 77 (skipped) when xvfb-run is not installed.
set -euo pipefail
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "xvfb-run is not installed (Debian package xvfb): the xcb run is skipped"
  exit 77
fi
export QT_QPA_PLATFORM=xcb
exec xvfb-run -a -s "-screen 0 1600x1200x24" "$@"
