#!/usr/bin/env bash
# The main job: install the dependencies, build, and show in brief what the
# tool is for: a receiver-test sequence made with impairments and measured
# back by the receiver, its spectrum against the mask and the PER curve as
# pictures. Each step says in one line what it made and where.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
demo=build/demo
mkdir -p "$demo"

# 1. The sensitivity test's sequence at 24 Mbit/s, with the impairments a
#    receiver meets: noise at 12 dB SNR and a 20 kHz carrier offset.
./build/bin/dot11a-gen --test sensitivity --rate 24 --snr 12 --cfo 20e3 --seed 1 \
  --save-params "$demo/receiver-test.mat" -o "$demo/receiver-test.sigmf-meta" \
  >"$demo/receiver-test.txt"
echo "made $demo/receiver-test.sigmf-meta: 1000 frames at 24 Mbit/s, SNR 12 dB, CFO 20 kHz" \
  "(its settings in $demo/receiver-test.mat, its summary in $demo/receiver-test.txt)"

# 2. Measured back by the receiver: the summary table of every frame found.
# (A frame outside a limit makes dot11a-verify's status non-zero; the table
# is what this step shows.)
./build/bin/dot11a-verify --max-frames 1000 "$demo/receiver-test.sigmf-meta" \
  >"$demo/receiver-test-verify.txt" || true
echo "measured $demo/receiver-test.sigmf-meta with dot11a-verify" \
  "(every frame in $demo/receiver-test-verify.txt):"
grep '^summary' "$demo/receiver-test-verify.txt" | sed 's/^/  /'

# 3. The spectrum with the transmit mask, as the window's Analysis > Averaged
#    Spectrum draws it (the window's own view, drawn without a display), of
#    clean frames at 80 MHz: the mask reaches 30 MHz from the carrier.
./build/bin/dot11a-gen --rate 24 --oversampling 4 --frames 20 --seed 1 \
  -o "$demo/spectrum-frames.sigmf-meta" >/dev/null
mask=$(QT_QPA_PLATFORM=offscreen ./build/bin/dot11a_b \
  --plot-spectrum "$demo/spectrum-frames.sigmf-meta" "$demo/spectrum.png" 2>/dev/null)
echo "drew $demo/spectrum.png: the averaged spectrum of 20 frames at 24 Mbit/s, 80 MHz," \
  "against the mask: ${mask#*: }"

# 4. The PER curve: the packet error rate against the SNR at 6, 24 and 54
#    Mbit/s through the receiver, 100 frames a point (a point ends at its
#    20th lost frame), with the SNR at PER 10 % of each rate.
./build/bin/dot11a-per --rates 6,24,54 --snr 0:20:1 --frames 100 --stop-after-errors 20 \
  --seed 1 --plot "$demo/per.png" --json "$demo/per.json" >"$demo/per.txt"
echo "drew $demo/per.png: PER against SNR at 6, 24 and 54 Mbit/s" \
  "($(grep '^SNR at PER' "$demo/per.txt" | tr -s ' '); the points in $demo/per.json)"

# 5. The window, when there is a display: started in the background, never
#    holding up a run without one.
if [ -n "${DISPLAY:-}" ] && [ -x build/bin/dot11a_b ]; then
  nohup ./build/bin/dot11a_b >"$demo/window.log" 2>&1 &
  echo "started the window (pid $!): File > Open $demo/receiver-test.mat, then Calculate"
else
  echo "no display: the window was not started (it runs with build/bin/dot11a_b)"
fi
