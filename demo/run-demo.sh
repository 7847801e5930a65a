#!/usr/bin/env bash
# Runs fernwick in a fresh working directory under the build directory.
# With a display the window stays open until it is closed; without one the program
# runs offscreen and is ended with SIGTERM after a few seconds.
set -euo pipefail
build_dir=$(cd "${1:-build}" && pwd)
work="$build_dir/demo-run"
rm -rf "$work"
mkdir -p "$work"
cd "$work"

if [ -n "${DISPLAY:-}" ]; then
  "$build_dir/fernwick"
else
  QT_QPA_PLATFORM=offscreen "$build_dir/fernwick" &
  pid=$!
  sleep 3
  kill -TERM "$pid"
  wait "$pid"
fi
echo "Working directory: $work"
cat log/fernwicklog-*.txt | tr '\r' ' '
