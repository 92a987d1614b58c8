#!/usr/bin/env bash
# The power-cut test: boots the guest machine, lets the logger log three incubators onto an
# ext4 file system on a virtio disk image (written through, cache=none), and kills the whole
# machine at a random moment. Then, from the host: the journal is replayed as the next
# mount would, e2fsck -fn must find the file system clean, and the files are read through a
# read-only loop mount (debugfs where this machine cannot loop-mount). Each file must be
# whole: no zero-filled tail, no torn last line, the bytes exactly what the logger wrote
# (its mirror), and every line stamped more than a second before the cut present.
#
#   DOVA_KERNEL_TESTS=1 tests/kernel/run_powercut.sh BUILD_DIR [CUTS] [LOGGER_ARG...]
#
# Skips (77) like run_kernel_tests.sh, and unless DOVA_KERNEL_POWERCUT=1 (scripts/test.sh
# sets both). LOGGER_ARGs go to the logger. Prints one line per cut and the totals.
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(realpath "$1")"
cuts="${2:-3}"
shift $(($# >= 2 ? 2 : 1))
if [ "${DOVA_KERNEL_TESTS:-0}" != 1 ] || [ "${DOVA_KERNEL_POWERCUT:-0}" != 1 ]; then
  echo "power-cut test: skipped (set DOVA_KERNEL_TESTS=1 and DOVA_KERNEL_POWERCUT=1)"
  exit 77
fi
if ! command -v qemu-system-x86_64 >/dev/null || ! command -v mkfs.ext4 >/dev/null; then
  echo "power-cut test: qemu-system-x86_64 or mkfs.ext4 is missing (scripts/install-deps.sh)"
  [ -n "${CI:-}" ] && exit 1
  exit 77
fi
"$root/scripts/kernel/prepare.sh" >/dev/null || exit 1
base="$build/kernel-results/powercut"
rm -rf "$base"
mkdir -p "$base"

ms() { local t=${EPOCHREALTIME/./}; echo $((t / 1000)); }
# Seconds since the epoch of a log line's stamp ("10 Dec 2026 15:54:13, ...").
stamp() { date -u -d "${1%%,*}" +%s 2>/dev/null || echo 0; }

failed=0
total_lost=0
total_old=0
for cut in $(seq 1 "$cuts"); do
  r="$base/cut$cut"
  mkdir -p "$r"
  img="$r/disk.img"
  truncate -s 64M "$img"
  mkfs.ext4 -q -F "$img"
  "$root/scripts/kernel/run-guest.sh" --timeout 300 --disk "$img" --pid-file "$r/qemu.pid" \
    "$root/tests/kernel/powercut_guest.sh" "$r" "$build" "$@" &
  guest=$!
  for _ in $(seq 1 2400); do
    [ -s "$r/ready" ] || [ -e "$r/failed" ] || ! kill -0 "$guest" 2>/dev/null && break
    sleep 0.05
  done
  host_ready=$(ms)
  if ! [ -s "$r/ready" ]; then
    echo "cut $cut: the guest never got ready"; kill -9 "$(cat "$r/qemu.pid" 2>/dev/null)" 2>/dev/null
    wait "$guest"; failed=1; continue
  fi
  guest_ready="$(cat "$r/ready")"; guest_ready=$((${guest_ready/./} / 1000))
  sleep "$((3 + RANDOM % 8)).$((RANDOM % 10))"
  cut_host=$(ms)
  kill -9 "$(cat "$r/qemu.pid")"
  wait "$guest" 2>/dev/null
  cut_guest=$((cut_host + guest_ready - host_ready))  # the cut on the guest's clock, in ms

  # The next mount would replay the journal; then the file system must be clean.
  e2fsck -E journal_only -y "$img" >"$r/fsck-journal.txt" 2>&1
  if e2fsck -fn "$img" >"$r/fsck.txt" 2>&1; then fsck=clean; else fsck="NOT CLEAN"; failed=1; fi
  mkdir -p "$r/disk"
  how="loop mount"
  mnt="$r/mnt"
  mkdir -p "$mnt"
  if mount -o loop,ro,noload "$img" "$mnt" 2>/dev/null; then
    cp "$mnt"/*.csv "$r/disk/" 2>/dev/null
    umount "$mnt"
  else
    how="debugfs"
    for n in 1 2 3; do
      debugfs -R "dump \"/DOVA $n $n.csv\" \"$r/disk/DOVA $n $n.csv\"" "$img" >/dev/null 2>&1
    done
  fi

  lost=0 old=0 nul=0 torn=0 wrong=0 newest_age="" empty=0
  for n in 1 2 3; do
    f="$r/disk/DOVA $n $n.csv"
    m="$r/mirror-$n.csv"
    [ -f "$f" ] || : >"$f"
    size=$(stat -c %s "$f")
    # NUL bytes anywhere (a size that reached the disk before its data).
    z=$(tr -cd '\000' <"$f" | wc -c)
    nul=$((nul + z))
    if [ "$size" -gt 0 ] && [ "$(tail -c 1 "$f" | od -An -c | tr -d ' ')" != '\r' ]; then
      torn=$((torn + 1))
    fi
    # What is on the disk must be exactly the start of what was written. The mirror is
    # copied out of the dying machine too, so its own newest bytes may be missing: the disk
    # may hold more than the mirror, and only what both hold is compared.
    msize=$(stat -c %s "$m")
    cmp -s -n "$((size < msize ? size : msize))" "$f" "$m" || wrong=$((wrong + 1))
    # The lines written but not on the disk, and those of them older than a second.
    while IFS= read -r -d $'\r' line; do
      lost=$((lost + 1))
      t=$(stamp "$line")
      # A stamp is the second the line was written in: it was written at t..t+1 s.
      if [ $(((t + 1) * 1000)) -lt $((cut_guest - 1000)) ]; then old=$((old + 1)); fi
    done < <(tail -c +"$((size + 1))" "$m")
    [ "$size" -eq 0 ] && empty=$((empty + 1))
    last="$(tr '\r' '\n' <"$f" | tail -n 1)"
    if [ -n "$last" ]; then
      age=$(((cut_guest - $(stamp "$last") * 1000) / 1000))
      [ -z "$newest_age" ] || [ "$age" -gt "$newest_age" ] && newest_age=$age
    fi
  done
  total_lost=$((total_lost + lost))
  total_old=$((total_old + old))
  verdict=PASS
  if [ "$fsck" != clean ] || [ "$old" -gt 0 ] || [ "$nul" -gt 0 ] || [ "$torn" -gt 0 ] ||
    [ "$wrong" -gt 0 ]; then
    verdict=FAIL; failed=1
  fi
  echo "$verdict cut $cut: file system $fsck; read by $how; lines lost $lost, of them older" \
    "than 1 s: $old; NUL bytes $nul; torn ends $torn; files not matching what was written" \
    "$wrong; empty files $empty; newest line on disk ${newest_age:-?} s old at the cut (the stalest" \
    "file with lines)" | tee "$r/verdict"
done
echo "power-cut test: $cuts cuts, $total_lost lines lost in all, $total_old of them older than 1 s"
exit "$failed"
