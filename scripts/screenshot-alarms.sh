#!/usr/bin/env bash
# Makes docs/alarms.png: the windowed logger with three simulated incubators, the first one's
# left lid held open past its alarm delay, so its tile flashes and the alarm list shows.
# The lid delay is shortened to 20 s for the picture (the program's default is 3 minutes).
#   scripts/screenshot-alarms.sh
# DOVA_BUILD_DIR names another configured build folder than build/default.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${DOVA_BUILD_DIR:-build/default}"
if [ -z "${DOVA_BUILD_DIR:-}" ]; then cmake --preset default >/dev/null; fi
cmake --build "$build" --target dova300-logger dova300-screengrab
mkdir -p docs
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/runtime"
mkdir -p "$scratch/config/Harl"
printf '[Alarms]\nLidOpenDelay=20\n' >"$scratch/config/Harl/DOVA300.conf"
printf 'at 10s lid 1 left open\n' >"$scratch/lid.scenario"
export HOME="$scratch" XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/runtime"
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  "$1/dova300-logger" --simulate 3 --scenario "$2/lid.scenario" --data-dir "$2/data" \
    >"$2/logger.txt" 2>&1 &
  logger=$!
  "$1/dova300-screengrab" --wait 45000 docs/alarms.png
  kill -TERM "$logger"
  wait "$logger"
' _ "$build" "$scratch"
echo "docs/alarms.png"
