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
  ccache prometheus
  poppler-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
