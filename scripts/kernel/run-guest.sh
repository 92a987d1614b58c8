#!/usr/bin/env bash
# Boots the guest machine once and runs one script in it, chrooted into this machine's own
# root (shared read-only), with RESULTS shared writable at the same path. Returns when the
# guest has powered off; its console is in RESULTS/console.log.
#
#   scripts/kernel/run-guest.sh [--timeout S] [--disk IMAGE] [--pid-file F] SCRIPT RESULTS [ARG...]
#
# The arguments after RESULTS reach the script after RESULTS (no spaces or commas in them).
# --disk adds IMAGE as a virtio disk (/dev/vda) written through to the file (cache=none).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
timeout=600
disk=""
pid_file=""
while [ $# -gt 0 ]; do
  case "$1" in
    --timeout) timeout="$2"; shift 2 ;;
    --disk) disk="$2"; shift 2 ;;
    --pid-file) pid_file="$2"; shift 2 ;;
    *) break ;;
  esac
done
script="$(realpath "$1")"
results="$(realpath "$2")"
shift 2
args="$(IFS=,; echo "$*")"

# The guest mounts empty folders of its own over /tmp, /run and /root: a script or build
# under them (a clone in a temporary folder) would not be there.
for path in "$script" "$@"; do
  case "$path" in
    /tmp/* | /run/* | /root/*)
      echo "run-guest: the guest machine has its own /tmp, /run and /root and cannot see" \
        "$path; clone and build outside them" >&2
      exit 3 ;;
  esac
done

qemu="$(command -v qemu-system-x86_64 || true)"
if [ -z "$qemu" ]; then
  echo "run-guest: qemu-system-x86_64 is not installed (package qemu-system-x86)" >&2
  exit 3
fi
images="$("$here/prepare.sh")"
mkdir -p "$results"

extra=()
if [ -n "$disk" ]; then
  extra+=(-drive "file=$(realpath "$disk"),format=raw,if=virtio,cache=none")
fi
if [ -n "$pid_file" ]; then
  extra+=(-pidfile "$pid_file")
fi

# No KVM on this machine kind (nested virtualization does not run stock kernels): TCG.
exec timeout --signal=KILL "$timeout" "$qemu" \
  -accel tcg,thread=multi -cpu max -smp 2 -m 1024 \
  -nodefaults -display none -monitor none -no-reboot \
  -serial "file:$results/console.log" \
  -kernel "$images/vmlinuz" -initrd "$images/initrd.gz" \
  -append "console=ttyS0 loglevel=6 panic=-1 dova.script=$script dova.results=$results dova.args=$args" \
  -virtfs "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap" \
  -virtfs "local,path=$results,mount_tag=results,security_model=none,multidevs=remap" \
  "${extra[@]}"
