#!/usr/bin/env bash
# Builds the program and runs it on simulated incubators (default: three).
# Extra arguments go to the program, e.g. scripts/run-simulated.sh --simulate 5
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
if [ $# -eq 0 ]; then set -- --simulate 3; fi
exec ./build/default/dova300-logger "$@"
