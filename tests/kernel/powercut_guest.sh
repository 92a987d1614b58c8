#!/bin/bash
# The power-cut run inside the guest machine: three simulated incubators whose lids and
# chambers change several times a second are logged onto ext4 on the virtio disk (default
# mount options), until the harness kills the machine. What the logger wrote is mirrored,
# as it is written, into RESULTS (the host's disk, out of reach of the cut), so the harness
# can tell what the disk should hold.
#
#   powercut_guest.sh RESULTS BUILD_DIR [LOGGER_ARG...]
set -u
R="$1"
B="$2"
shift 2
export HOME=/tmp/home XDG_RUNTIME_DIR=/tmp/run LC_ALL=C.UTF-8 TZ=UTC
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" /tmp/data
chmod 700 "$XDG_RUNTIME_DIR"
exec >"$R/guest.log" 2>&1
rm -f /tmp/nap; mkfifo /tmp/nap; exec 9<>/tmp/nap
nap() { read -r -t "$1" -u 9 _ || true; }

mount -t ext4 /dev/vda /tmp/data || { echo "cannot mount the disk" | tee "$R/failed"; exit 1; }
cat >/tmp/scenario <<'SCRIPT'
every 700ms lid left open
every 1100ms lid left close
every 900ms chamber right off
every 1300ms chamber right on
SCRIPT
mkfifo /tmp/sim.in
"$B/dova300-sim" --usbip --count 3 --scenario /tmp/scenario </tmp/sim.in >"$R/sim.out" 2>&1 &
exec 7>/tmp/sim.in
for n in 1 2 3; do
  until [ -e /sys/class/tty/ttyUSB$((n - 1)) ]; do nap 0.05; done
done
"$B/dova300-logger" --headless --data-dir /tmp/data --log-interval 1 "$@" >"$R/logger.out" 2>&1 &
for n in 1 2 3; do
  tail -n +1 -F "/tmp/data/DOVA $n $n.csv" >"$R/mirror-$n.csv" 2>/dev/null &
done
for n in 1 2 3; do
  until [ -s "$R/mirror-$n.csv" ]; do nap 0.05; done
done
# The guest's clock at this moment, for the harness to line it up with its own.
echo "$EPOCHREALTIME" >"$R/ready"
while :; do nap 1; done
