#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running need.
# Does nothing when they are all present.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-svg-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n
  libmodbus-dev libsqlite3-dev libgtest-dev libbenchmark-dev libkissfft-dev libcli11-dev
  libgl-dev libxkbcommon-dev fonts-noto-cjk xvfb xauth
  clang libclang-rt-14-dev lld
  dpkg-dev file appstream desktop-file-utils man-db locales
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
