#!/usr/bin/env bash
# Makes docs/screenshot.png again: the windowed logger watching three simulated incubators
# on a virtual 1280x1024 screen. Needs xvfb (scripts/install-deps.sh installs it).
#   scripts/screenshot.sh [SECONDS]     how long the incubators run before the picture (20)
# DOVA_BUILD_DIR names another configured build folder than build/default.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
build="${DOVA_BUILD_DIR:-build/default}"
if [ -z "${DOVA_BUILD_DIR:-}" ]; then cmake --preset default >/dev/null; fi
cmake --build "$build" --target dova300-logger dova300-screengrab
mkdir -p docs
# A home of its own, so the run neither reads nor changes the user's settings and logs.
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/runtime"
export HOME="$scratch" XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/runtime"
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  "$1/dova300-logger" --simulate 3 --data-dir "$2/data" >"$2/logger.txt" 2>&1 &
  logger=$!
  "$1/dova300-screengrab" --wait "$3" docs/screenshot.png
  kill -TERM "$logger"
  wait "$logger"
' _ "$build" "$scratch" "$((seconds * 1000))"
echo "docs/screenshot.png"
