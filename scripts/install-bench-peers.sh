#!/usr/bin/env bash
# Installs the Debian 12 packages of the programs the benchmarks run beside
# their own figures: mbpoll (bench_one_shot), pymodbus (the link's peer) and
# pyqtgraph (bench_scope), and strace, with which bench_one_shot counts the
# flushes of a params load. Does nothing when they are all present. The
# benchmarks themselves never install anything.
set -euo pipefail

packages=(mbpoll strace python3-pymodbus python3-serial python3-serial-asyncio python3-pyqtgraph python3-pyqt6 python3-numpy)

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
