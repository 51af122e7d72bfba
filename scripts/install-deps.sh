#!/usr/bin/env bash
# Installs everything the build, the tests and the demonstrations need, from
# Debian's packages. Run as root on Debian 12.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
packages=(
  cmake g++ make pkg-config git ca-certificates
  libgtest-dev libgmock-dev libbenchmark-dev
  libfftw3-dev libmatio-dev nlohmann-json3-dev libcli11-dev nettle-dev
  qt6-base-dev qt6-tools-dev libqt6opengl6-dev libqcustomplot-dev libgl-dev fonts-dejavu-core
  python3 python3-numpy python3-scipy python3-dev pybind11-dev python3-pybind11 python3-pytest
  python3-matplotlib  # the plot of the example in docs/python.md, which the Python tests run
  help2man dpkg-dev file
  xvfb xauth tshark
  strace  # kills dot11a-gen between two renames in the file tests
  clang libclang-rt-14-dev
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
# A locale with a decimal comma, so the tests can show that instrument commands
# never depend on the user's locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  if command -v localedef >/dev/null && [ -e /usr/share/i18n/locales/de_DE ]; then
    localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "Could not generate de_DE.UTF-8; the locale test will be skipped."
  fi
fi
