#!/usr/bin/env bash
# Installs the images texture_dxt_bench measures: Debian's mate-backgrounds (photographs and artwork, about
# 47 MB to download), under /usr/share/backgrounds/mate. Runs as root or through sudo; does nothing when the
# package is there.
set -euo pipefail
status=$(dpkg-query -W -f='${Status}' mate-backgrounds 2>/dev/null || true)
[[ "$status" == "install ok installed" ]] && exit 0
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends mate-backgrounds
