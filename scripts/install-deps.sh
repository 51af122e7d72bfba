#!/usr/bin/env bash
# Installs everything the build, the tests and the demonstrations need, from
# Debian's packages. Run as root on Debian 12.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
packages=(
  cmake g++ make pkg-config git ca-certificates
  libgtest-dev libgmock-dev libbenchmark-dev
  libfftw3-dev libmatio-dev nlohmann-json3-dev libcli11-dev
  qt6-base-dev qt6-tools-dev libqcustomplot-dev libgl-dev fonts-dejavu-core
  python3 python3-numpy python3-scipy
  xvfb xauth tshark
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
