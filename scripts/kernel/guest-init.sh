#!/bin/busybox sh
# The guest machine's init: loads the modules, mounts the host's root (read-only) and the
# results folder (writable) over 9p, and runs the script named on the kernel command line
# chrooted into the host's root. Then powers off. Everything it says goes to the serial
# console, which the harness keeps.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev

for m in $(cat /modules/order); do
  insmod /modules/$m || echo "init: cannot load $m"
done

arg() { sed -n "s/.*\\b$1=\\([^ ]*\\).*/\\1/p" /proc/cmdline; }
script="$(arg dova.script)"
results="$(arg dova.results)"

mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=262144,cache=loose hostroot /host || {
  echo "init: cannot mount the host's root"; poweroff -f; }
mount -t proc proc /host/proc
mount -t sysfs sysfs /host/sys
mount -t devtmpfs devtmpfs /host/dev
mkdir -p /host/dev/pts 2>/dev/null
mount -t devpts devpts /host/dev/pts 2>/dev/null
mount -t tmpfs tmpfs /host/tmp
mount -t tmpfs tmpfs /host/run
mount -t tmpfs tmpfs /host/root
# Under /tmp the folder exists only on the tmpfs just mounted.
mkdir -p "/host$results" 2>/dev/null
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 results "/host$results" || {
  echo "init: cannot mount the results folder"; poweroff -f; }
echo "init: ready, running $script"
chroot /host /bin/bash "$script" "$results" $(arg dova.args | tr ',' ' ')
echo "init: script ended with $?"
sync
poweroff -f
