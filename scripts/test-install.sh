#!/usr/bin/env bash
# Makes the Debian package from an existing build folder, installs it with
# apt, runs the installed programs, the Python module and a program built
# against the installed files (CMake package and pkg-config), then removes
# the package. Run as root on Debian 12: scripts/test-install.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
work=$(mktemp -d)
start=$SECONDS
package=veltora-dot11a
cleanup() {
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    apt-get purge -y -qq "$package" >/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "== package"
(cd "$build" && cpack -G DEB -B "$work/pkg" >"$work/cpack.log") || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/pkg/*.deb)
echo "$(basename "$deb"): Depends: $(dpkg-deb -f "$deb" Depends)"
# The tools' manual pages, read from the package itself: what man would show
# once it is installed (a minimal Debian has no man to ask).
for tool in dot11a-gen dot11a-verify dot11a-call tgx-sim; do
  page=./usr/share/man/man1/$tool.1
  text=$(dpkg-deb --fsys-tarfile "$deb" | tar -xOf - "$page" 2>/dev/null || true)
  if ! grep -q '^\.TH ' <<<"$text"; then
    echo "the package holds no manual page $page" >&2
    exit 1
  fi
done

echo "== install"
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "$deb" >/dev/null

# Everything below runs from the installed paths, outside the source tree.
cd "$work"
echo "== tools"
/usr/bin/dot11a-gen --rate 24 --length 100 --fcs on -o frame.sigmf-meta
/usr/bin/dot11a-verify frame.sigmf-meta --fcs on --dac-droop
/usr/bin/dot11a-call dot11a_ConvolEncode '[1,0,0,0,0,0,0]' 0.5

echo "== python"
/usr/bin/python3 -c "
import veltora
samples, facts = veltora.synthesize(rate=54, length=100)
assert veltora.verify(samples, facts['sample_rate'], dac_droop=True)['pass']
print('veltora from', veltora.__file__)
"

echo "== C++ program against the installed files"
cmake -S "$root/tests/consumer" -B consumer-cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build consumer-cmake >/dev/null
./consumer-cmake/consumer
# shellcheck disable=SC2046
g++ -o consumer-pc "$root/tests/consumer/consumer.cpp" $(pkg-config --cflags --libs dot11a_b)
./consumer-pc

echo "install test passed in $((SECONDS - start)) s"
