#!/usr/bin/env bash
# Makes docs/screenshot.png again: the windowed logger watching three simulated incubators
# on a virtual 1280x1024 screen. Needs xvfb (scripts/install-deps.sh installs it).
#   scripts/screenshot.sh [SECONDS]     how long the incubators run before the picture (20)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
cmake --preset default >/dev/null
cmake --build --preset default --target dova300-logger dova300-screengrab
mkdir -p docs
# A home of its own, so the run neither reads nor changes the user's settings and logs.
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/runtime"
export HOME="$scratch" XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/runtime"
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  build/default/dova300-logger --simulate 3 --data-dir "$1/data" &
  logger=$!
  build/default/dova300-screengrab --wait "$2" docs/screenshot.png
  kill -TERM "$logger"
  wait "$logger"
' _ "$scratch" "$((seconds * 1000))"
echo "docs/screenshot.png"
