#!/usr/bin/env bash
# Prepares, once per machine, what the guest machine of the kernel tests boots: Debian's own
# kernel (downloaded and unpacked, never installed) and a small initramfs of busybox and the
# modules the tests need. Prints the cache folder. Cached by kernel version: a second run
# only checks.
#
#   scripts/kernel/prepare.sh          # prints e.g. /var/cache/dova300-kernel/6.1.0-57-amd64
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

# Modules loaded in the guest, in this order (their dependencies are added before them).
MODULES=(virtio virtio_ring virtio_pci 9pnet 9pnet_virtio netfs 9p usbip-core vhci-hcd
  usbserial cp210x virtio_blk crc32c_generic crc16 mbcache jbd2 ext4)

cache_root="${DOVA_KERNEL_CACHE:-}"
if [ -z "$cache_root" ]; then
  if mkdir -p /var/cache/dova300-kernel 2>/dev/null && [ -w /var/cache/dova300-kernel ]; then
    cache_root=/var/cache/dova300-kernel
  else
    cache_root="${XDG_CACHE_HOME:-$HOME/.cache}/dova300-kernel"
  fi
fi
mkdir -p "$cache_root"

# A change to the guest's init or to this script makes a new initramfs.
stamp="$(cat "$0" "$here/guest-init.sh" | sha1sum | cut -c1-8)"
# Once prepared, apt is not asked again (it is slow on a loaded machine, and needs no network
# then); DOVA_KERNEL_REFRESH=1 looks for a newer kernel package.
if [ "${DOVA_KERNEL_REFRESH:-0}" != 1 ]; then
  for ready in $(ls -td "$cache_root"/*-"$stamp"/ready 2>/dev/null); do
    dirname "$ready"
    exit 0
  done
fi

# The kernel package the metapackage points at now.
package="$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')"
if [ -z "$package" ] && [ "$(id -u)" = 0 ]; then
  apt-get update -qq >/dev/null 2>&1 || true
  package="$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')"
fi
if [ -z "$package" ]; then
  echo "prepare: apt-cache knows no linux-image-amd64 (run apt-get update)" >&2
  exit 1
fi
version="${package#linux-image-}"
dir="$cache_root/$version-$stamp"
if [ -f "$dir/ready" ]; then
  echo "$dir"
  exit 0
fi

work="$(mktemp -d "$cache_root/.work.XXXXXX")"
trap 'rm -rf "$work"' EXIT
# The unpacked package is kept, so a new initramfs needs no new download.
tree="$cache_root/$version.tree"
if ! [ -f "$tree/unpacked" ]; then
  (cd "$work" && apt-get download -q "$package" >/dev/null 2>&1) ||
    { echo "prepare: cannot download $package" >&2; exit 1; }
  rm -rf "$tree"
  dpkg-deb -x "$work"/"$package"_*.deb "$tree"
  rm -f "$work"/*.deb
  touch "$tree/unpacked"
fi
kernel="$(ls "$tree"/boot/vmlinuz-* | head -n 1)"
moddir="$tree/lib/modules/$version"
[ -f "$kernel" ] && [ -d "$moddir" ] || { echo "prepare: unexpected package layout" >&2; exit 1; }

busybox=/bin/busybox  # from busybox-static: runs without any library
if ! [ -x "$busybox" ] || ldd "$busybox" >/dev/null 2>&1; then
  echo "prepare: busybox-static is not installed" >&2
  exit 1
fi

# Dependency closure, dependencies first. The package carries no modules.dep (depmod runs
# at install), so each module's own "depends=" field is read.
declare -A path=() seen=()
while IFS= read -r f; do
  n="$(basename "$f")"; n="${n%%.ko*}"; path[${n//-/_}]="$f"
done < <(find "$moddir/kernel" -name '*.ko*')
plain() {  # a module's bytes, uncompressed
  case "$1" in
    *.xz) xz -dc "$1" ;; *.zst) zstd -qdc "$1" ;; *.gz) gzip -dc "$1" ;; *) cat "$1" ;;
  esac
}
order=()
add() {
  local name="${1//-/_}" d
  [ -n "${seen[$name]:-}" ] && return
  seen[$name]=1
  if [ -z "${path[$name]:-}" ]; then
    grep -q "/${name//_/[-_]}.ko" "$moddir/modules.builtin" 2>/dev/null ||
      echo "prepare: note: $name is neither built in nor a module" >&2
    return
  fi
  for d in $(plain "${path[$name]}" | strings -a | sed -n 's/^depends=//p' | tr ',' ' '); do
    add "$d"
  done
  order+=("$name")
}
for m in "${MODULES[@]}"; do add "$m"; done

initrd="$work/initrd"
mkdir -p "$initrd"/{bin,dev,proc,sys,mnt,host,modules}
cp "$busybox" "$initrd/bin/busybox"
for m in "${order[@]}"; do
  plain "${path[$m]}" >"$initrd/modules/$m.ko"
  echo "$m.ko" >>"$initrd/modules/order"
done
cp "$here/guest-init.sh" "$initrd/init"
chmod 755 "$initrd/init"
(cd "$initrd" && find . | "$busybox" cpio -o -H newc 2>/dev/null | gzip -1) >"$work/initrd.gz"

# Initramfs images of earlier versions of this script are of no further use.
for old in "$cache_root"/*-*/; do
  [ "${old%/}" != "$dir" ] && [ -f "$old/ready" ] && rm -rf "$old"
done
mkdir -p "$dir"
cp "$kernel" "$dir/vmlinuz"
cp "$work/initrd.gz" "$dir/initrd.gz"
touch "$dir/ready"
echo "$dir"
