#!/usr/bin/env bash
# Builds the program twice (release with debug info, and with address and undefined-behaviour
# sanitizers) and runs every test in both builds; then the kernel-path scenarios and the
# power-cut test, once, in a guest machine with the release build's programs (label "kernel").
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"
for preset in default asan; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
# With them, three power cuts of a guest logging onto ext4 (label powercut): nothing older
# than a second may be missing, no file may end torn or in NUL bytes.
DOVA_KERNEL_TESTS=1 DOVA_KERNEL_POWERCUT=1 ctest --preset default -L kernel --verbose
