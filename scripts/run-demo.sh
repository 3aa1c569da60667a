#!/usr/bin/env bash
# Installs what is missing, builds the release preset (the build also generates the scene and its images) and runs
# the demo from its working directory. Extra arguments go to the program (see README: runner options).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release
cmake --build --preset release -j "$(nproc)"
exec build/release/demo/seascene -C build/release/run "$@"
