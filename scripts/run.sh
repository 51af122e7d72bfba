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
