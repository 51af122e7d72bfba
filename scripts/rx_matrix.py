"""The receiver's self-consistency matrix through every front end.

Sequences of three frames of our own synthesis (every rate, oversampling 1
to 4, gaps of 0, 16 and 100 us and SIFS, behind 0 to 2000 samples of
silence, noise-free and with noise 40, 60 and 80 dB down) are verified by
veltora.verify() and by dot11a-verify on the same samples as SigMF, raw cf32
and MAT files. Every frame must decode at its true start with its PSDU on
every path, and the measurements must agree with Python's to 0.01 dB and
1 Hz. Prints a line per failure and the totals; exits 1 on any failure.

    python3 scripts/rx_matrix.py BUILD_DIR [--sample N] [--seed S]

--sample N checks N cells drawn with the seed instead of all 512.
"""
import argparse
import itertools
import json
import os
import random
import subprocess
import sys
import tempfile

import numpy as np

RATES = [6, 9, 12, 18, 24, 36, 48, 54]
GAPS = ["0", "16", "100", "SIFS"]
SNRS = [None, 80, 60, 40]


def tool(build, *args):
    run = subprocess.run([os.path.join(build, "bin", "dot11a-verify"), *args, "--json"],
                         capture_output=True, text=True)
    if run.returncode == 2:
        raise RuntimeError("dot11a-verify " + " ".join(args) + ": " + run.stderr.strip())
    return json.loads(run.stdout)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--sample", type=int, default=0)
    ap.add_argument("--seed", type=int, default=34)
    a = ap.parse_args()
    sys.path.insert(0, os.path.join(a.build, "python"))
    import veltora

    rng = random.Random(a.seed)
    cells = list(itertools.product(RATES, range(1, 5), GAPS, SNRS))
    # Each cell's lead-in and length are drawn whether or not it is checked,
    # so that a sample checks the same cells as the whole matrix.
    drawn = [(c, rng.randint(0, 2000), rng.randint(1, 800)) for c in cells]
    if a.sample:
        drawn = random.Random(a.seed + 1).sample(drawn, a.sample)
    failures = frames = 0
    with tempfile.TemporaryDirectory(prefix="rx-matrix-") as tmp:
        for (rate, os_, gap, snr), lead, length in drawn:
            cell = f"{rate} Mbit/s os {os_} gap {gap} lead {lead} length {length} snr {snr}"
            kw = dict(rate=rate, length=length, oversampling=os_, frames=3, gap_us=gap,
                      seed_step=True)
            if snr is not None:
                kw.update(snr=snr, seed=lead)
            x, facts = veltora.synthesize(**kw)
            fs = facts["sample_rate"]
            x = np.concatenate([np.zeros(lead * os_, np.complex128), x])
            starts = [s + lead * os_ for s in facts["frame_starts"]]
            psdus = [list(p) for p in facts.get("psdus", [facts["psdu"]] * 3)]
            frames += len(starts)
            meta, raw, mat = (os.path.join(tmp, n) for n in ("x.sigmf-meta", "x.cf32", "x.mat"))
            veltora.write(meta, x, fs, dac_precompensated=True)
            veltora.write(mat, x, fs, dac_precompensated=True)
            x.astype(np.complex64).tofile(raw)
            # SigMF and cf32 hold single precision, MAT double: each file is
            # compared with Python on the samples it holds.
            xs = x.astype(np.complex64).astype(np.complex128)
            single = veltora.verify(xs, fs, dac_droop=True)
            double = veltora.verify(x, fs, dac_droop=True)
            paths = {
                "python": (single, single),
                "sigmf": (tool(a.build, meta), single),
                "cf32": (tool(a.build, raw, "--sample-rate", str(fs), "--dac-droop"), single),
                "mat": (tool(a.build, mat, "--sample-rate", str(fs)), double),
            }
            for name, (report, against) in paths.items():
                got, ref = report["frames"], against["frames"]
                bad = []
                if [f["start"] for f in got] != starts:
                    bad.append(f"starts {[f['start'] for f in got]} != {starts}")
                elif not all(f["decoded"] for f in got):
                    bad.append("a frame does not decode")
                elif [f["psdu"] for f in got] != psdus:
                    bad.append("a PSDU differs")
                elif len(got) == len(ref):
                    for f, r in zip(got, ref):
                        if abs(f["evm"]["rms_db"] - r["evm"]["rms_db"]) > 0.01 or \
                           abs(f["cfo_hz"] - r["cfo_hz"]) > 1.0 or \
                           abs(f["flatness"]["worst_margin_db"] -
                               r["flatness"]["worst_margin_db"]) > 0.01 or \
                           f["pass"] != r["pass"]:
                            bad.append("measurements differ from Python's")
                            break
                # Noise-free, a frame measures as perfect: no error, no leakage,
                # flat, no clock offset. (The mask is the transmitter's: an
                # unwindowed frame oversampled 3 or 4 times may break it.)
                if snr is None and not bad and not all(
                        f["evm"]["rms_db"] < -100 and f["center_leakage_db"] < -100 and
                        f["flatness"]["pass"] and not f["clock_offset_measured"] for f in got):
                    bad.append("a noise-free frame does not measure clean")
                if bad:
                    failures += 1
                    print(f"{cell}: {name}: {'; '.join(bad)}", flush=True)
    print(f"rx-matrix: {len(drawn)} sequences, {frames} frames, 4 paths each: "
          f"{failures} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
