#!/usr/bin/env bash
# The main job: install the dependencies, build, and run a demonstration.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
echo "== dot11a_ConvolEncode of an impulse at rate 1/2:"
./build/bin/dot11a-call dot11a_ConvolEncode '[1,0,0,0,0,0,0]' 0.5
echo "== dot11a_Scramble of 16 zeros with the seed 93 (1011101):"
./build/bin/dot11a-call dot11a_Scramble '[0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0]' '[1,0,1,1,1,0,1]'
# The main job on a machine without a screen: the command-line generator.
mkdir -p build/demo
echo "== dot11a-gen: 24 Mbit/s, 100 octets with MAC header and FCS, as SigMF and PCAP"
./build/bin/dot11a-gen --rate 24 --length 100 --mac-header on --fcs on \
  --save-params build/demo/frame-params.mat -o build/demo/frame.sigmf-meta
./build/bin/dot11a-gen --params build/demo/frame-params.mat -o build/demo/frame.pcap
ls -l build/demo
echo "== dot11a-gen: summary of the default frame (nothing written)"
./build/bin/dot11a-gen
