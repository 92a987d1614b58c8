#!/usr/bin/env bash
# The kernel-path tests: boots the guest machine once and runs the scenarios in it against
# BUILD_DIR's programs. Skips (exit 77) unless DOVA_KERNEL_TESTS=1, so a plain ctest run
# stays fast; scripts/test.sh sets it. Without QEMU it says so and skips, but fails under CI.
#
#   DOVA_KERNEL_TESTS=1 tests/kernel/run_kernel_tests.sh build/default
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(realpath "$1")"
if [ "${DOVA_KERNEL_TESTS:-0}" != 1 ]; then
  echo "kernel tests: skipped (set DOVA_KERNEL_TESTS=1, or run scripts/test.sh)"
  exit 77
fi
if ! command -v qemu-system-x86_64 >/dev/null; then
  echo "kernel tests: qemu-system-x86_64 is not installed (scripts/install-deps.sh installs it)"
  [ -n "${CI:-}" ] && exit 1
  exit 77
fi
set_name=default
results="$build/kernel-results/$set_name"
rm -rf "$results"
mkdir -p "$results"

start=$(date +%s)
if ! images="$("$root/scripts/kernel/prepare.sh")"; then
  echo "kernel tests: cannot prepare the guest's kernel"
  exit 1
fi
prepared=$(date +%s)
"$root/scripts/kernel/run-guest.sh" --timeout 600 "$root/tests/kernel/scenarios.sh" "$results" \
  "$build" "$set_name"
rc=$?
end=$(date +%s)

echo "kernel tests: guest kernel $(basename "$images"), results in $results"
cat "$results/verdicts" 2>/dev/null
echo "kernel tests: $((end - start)) s in all ($((prepared - start)) s preparing, $((end - prepared)) s in the guest)"
if [ "$rc" != 0 ] || ! [ -f "$results/verdicts.done" ]; then
  echo "kernel tests: the guest did not finish (exit $rc); its console ends:"
  tail -n 30 "$results/console.log" 2>/dev/null
  exit 1
fi
if grep -q "^FAIL" "$results/verdicts" || ! grep -q "^PASS" "$results/verdicts"; then
  echo "kernel tests: scenario log ends:"
  tail -n 20 "$results/scenarios.log"
  exit 1
fi
exit 0
