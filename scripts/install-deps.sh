#!/usr/bin/env bash
# Installs everything the build, the tests and the demonstrations need, from
# Debian's packages. Run as root on Debian 12.
#   scripts/install-deps.sh          install what is missing
#   scripts/install-deps.sh --list   print the packages, one a line, and stop
# scripts/check-commands.sh checks that every command the scripts and the tests
# start comes from one of these packages (or from Debian's base system).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
packages=(
  cmake g++ make pkg-config git ca-certificates
  binutils  # nm (scripts/check-exports.sh) and objdump (the configure step)
  libgtest-dev libgmock-dev libbenchmark-dev
  libfftw3-dev libmatio-dev nlohmann-json3-dev libcli11-dev nettle-dev
  qt6-base-dev qt6-tools-dev libqt6opengl6-dev libqcustomplot-dev libgl-dev fonts-dejavu-core
  python3 python3-numpy python3-scipy python3-dev pybind11-dev python3-pybind11 python3-pytest
  python3-matplotlib  # the plot of the example in docs/python.md, which the Python tests run;
                      # dot11a-per --plot and per_curve(plot=...)
  python3-distributed  # per_curve(scheduler=...): the PER bench on a Dask cluster
  help2man dpkg-dev file  # manual pages; dpkg-shlibdeps and file for cpack's Debian package
  xvfb xauth tshark
  locales  # the locale sources localedef makes de_DE.UTF-8 from
  strace  # kills dot11a-gen between two renames in the file tests
  clang libclang-rt-14-dev
)
if [ "${1:-}" = --list ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi
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
# never depend on the user's locale. The locales package holds its sources, so
# a failure here is a fault of the machine, not a reason to skip the test.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  echo "Generating the locale de_DE.UTF-8"
  # localedef's status is 1 for a warning with the locale written all the
  # same: whether the locale is there afterwards decides.
  localedef -i de_DE -f UTF-8 de_DE.UTF-8 || true
  if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    echo "install-deps: could not generate the locale de_DE.UTF-8 (localedef from libc-bin," \
      "sources from the locales package)" >&2
    exit 1
  fi
fi
