#!/usr/bin/env bash
# Builds the release preset and writes the Debian package build/release/tarn-engine_<version>_amd64.deb with
# CPack: the demo and its data, the inspectors, the libraries, headers and CMake package, the desktop entry and
# icons. Its runtime dependencies come from dpkg-shlibdeps. Install it with: apt install ./build/release/tarn-engine_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release
cmake --build --preset release -j "$(nproc)"
rm -f build/release/tarn-engine_*.deb
(cd build/release && cpack -G DEB)
ls build/release/tarn-engine_*.deb
