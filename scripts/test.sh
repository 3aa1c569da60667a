#!/usr/bin/env bash
# Installs what is missing, builds the release preset and runs every test. Needs no screen: drawing tests render
# headless with Mesa's software rasteriser through EGL.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
preset=${TARN_PRESET:-release}
cmake --preset "$preset"
cmake --build --preset "$preset" -j "$(nproc)"
ctest --preset "$preset" -j "$(nproc)" --timeout 600
