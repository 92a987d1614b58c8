#!/usr/bin/env bash
# Installs the Debian 12 packages the logger needs to build, test and run.
# Run as root (CI) or as a user with sudo. Packages already present are skipped.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools libqt6dbus6 libgl-dev
  libqcustomplot-dev libqcustomplot2.1-qt6
  libusb-1.0-0-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb xauth fonts-liberation2
  qt6-httpserver-dev qt6-websockets-dev
  ccache prometheus strace
  qt6-multimedia-dev dbus-daemon
  qemu-system-x86 busybox-static e2fsprogs
  poppler-utils
)

# One line per step; apt's own output is kept back and shown only when a step fails.
say() { echo "install-deps: $*"; }
quietly() {
  local what="$1"
  shift
  local log
  log="$(mktemp)"
  if "$@" >"$log" 2>&1; then
    rm -f "$log"
    say "$what: done"
  else
    local rc=$?
    say "$what failed (exit code $rc):" >&2
    cat "$log" >&2
    rm -f "$log"
    exit "$rc"
  fi
}

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

# Nothing missing: apt is not asked at all.
if [ ${#missing[@]} -eq 0 ]; then
  say "all ${#PACKAGES[@]} Debian packages are installed"
  exit 0
fi

say "missing: ${missing[*]}"
SUDO=()
if [ "$(id -u)" -ne 0 ]; then SUDO=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
quietly "apt-get update" "${SUDO[@]}" apt-get update -q
quietly "apt-get install" "${SUDO[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
