#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs, only those missing. Runs as root or through sudo.
# dpkg-dev (dpkg-shlibdeps) and file are what CPack needs to work out the Debian package's dependencies;
# clang-format (with git-clang-format) and git check the layout of changed lines; python3-pil is the independent
# reader the save and converter tests open written image files with. libassimp-dev is the model parser of
# tarn-import, and assimp-testmodels the real models its tests and scripts/import-testmodels.sh import.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  libsdl2-dev libegl-dev libgl-dev libegl-mesa0 libgl1-mesa-dri
  libpng-dev libjpeg62-turbo-dev zlib1g-dev libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev libstb-dev libsquish-dev
  python3-pil
  libassimp-dev assimp-testmodels
  dpkg-dev file
  clang-format git
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
