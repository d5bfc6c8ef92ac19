#!/usr/bin/env bash
# Builds the Debian package halvex_<version>_<arch>.deb from the release build.
# Install it with: sudo apt install ./build/release/halvex_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release
cmake --build --preset release
rm -f build/release/halvex_*.deb
(cd build/release && cpack -G DEB)
ls -1 build/release/halvex_*.deb
