#!/usr/bin/env bash
# Installs what building, running and testing Quillon needs on a Debian machine, when it is missing.
set -euo pipefail

packages=(cmake g++ make qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libqt6serialport6
          xvfb xauth xdotool x11-utils fonts-dejavu-core)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
((${#missing[@]} == 0)) && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
