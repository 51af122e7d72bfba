"""The receiver's sensitivity against the ideal receiver's: the SNR at PER 10 %
per rate, in white noise and in the exponential channel at 50 ns RMS.

Each of the four cases (ideal and receiver, AWGN and exp:50) runs dot11a-per
twice: a coarse sweep (1 dB steps, --coarse-frames frames a point, ending at
30 lost) finds each rate's threshold, then a fine sweep of --frames frames a
point over 0.5 dB steps around it measures it (a point above 50 % PER ends
at half the frames lost: it is not near the threshold). PSDUs of 1000
octets with their FCS, at 20 MHz, as a sensitivity test takes them. A
benchmark, not a test: it prints the table and, with --write-docs, puts it
into docs/verify.md between its markers.

    python3 scripts/sensitivity.py BUILD_DIR [--frames 1000] [--rates 6,54]
        [--workers N] [--json FILE] [--write-docs]
"""
import argparse
import json
import os
import re
import subprocess
import sys
import tempfile

RATES = [6, 9, 12, 18, 24, 36, 48, 54]
CASES = [("ideal", "awgn"), ("receiver", "awgn"), ("ideal", "exp:50"), ("receiver", "exp:50")]
COARSE_SNR = "-2:40:1"
FINE_HALF_WIDTH_DB = 1.5
FINE_STEP_DB = 0.5
BEGIN = "<!-- sensitivity table: scripts/sensitivity.py writes what follows -->"
END = "<!-- end of the sensitivity table -->"


def per(tool, folder, mode, channel, rates, snr, frames, stop, seed, workers):
    out = os.path.join(folder, "result.json")
    args = [tool, "--rates", ",".join("%g" % r for r in rates), "--snr", snr]
    args += ["--frames", str(frames), "--stop-after-errors", str(stop), "--seed", str(seed)]
    args += ["--channel", channel, "--json", out]
    if mode == "ideal":
        args.append("--ideal")
    if workers:
        args += ["--workers", str(workers)]
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
    with open(out, encoding="utf-8") as f:
        return json.load(f)


def thresholds(result):
    return {t["rate_mbps"]: t["snr_db_at_per_10"] for t in result["thresholds"]}


def measure(tool, folder, mode, channel, rates, frames, coarse_frames, workers, log):
    coarse = per(tool, folder, mode, channel, rates, COARSE_SNR, coarse_frames, 30, 1, workers)
    found = {}
    points = {}
    for rate, at in thresholds(coarse).items():
        if at is None:
            log("%s %s %g Mbit/s: no crossing of PER 10 %% in %s dB" % (mode, channel, rate, COARSE_SNR))
            found[rate] = None
            continue
        centre = round(at / FINE_STEP_DB) * FINE_STEP_DB
        lo = centre - FINE_HALF_WIDTH_DB
        hi = centre + FINE_HALF_WIDTH_DB
        # The coarse sweep's few frames may put the threshold outside the
        # window (a fading channel's curve is shallow): the window grows
        # towards it, up to three times.
        for _ in range(4):
            fine = per(tool, folder, mode, channel, [rate], "%g:%g:%g" % (lo, hi, FINE_STEP_DB),
                       frames, frames // 2, 2, workers)  # fmt: skip
            if thresholds(fine)[rate] is not None:
                break
            if all(p["per"] >= 0.1 for p in fine["points"]):
                hi += 2 * FINE_HALF_WIDTH_DB
            else:
                lo -= 2 * FINE_HALF_WIDTH_DB
        found[rate] = thresholds(fine)[rate]
        points[rate] = fine["points"]
        log("%s %s %g Mbit/s: %s dB (coarse %.2f, fine %g to %g)"
            % (mode, channel, rate, fmt(found[rate]), at, lo, hi))
    return found, points


def fmt(x, digits=2):
    return "-" if x is None else "%.*f" % (digits, x)


def table(results, rates, frames):
    lines = [
        "| Mbit/s | " + " | ".join("%g" % r for r in rates) + " |",
        "|---" * (len(rates) + 1) + "|",
    ]
    for channel in ("awgn", "exp:50"):
        name = "AWGN" if channel == "awgn" else "exp. 50 ns"
        ideal = results[("ideal", channel)]
        rx = results[("receiver", channel)]
        lines.append("| ideal, %s | " % name + " | ".join(fmt(ideal[r]) for r in rates) + " |")
        lines.append("| receiver, %s | " % name + " | ".join(fmt(rx[r]) for r in rates) + " |")
        loss = [None if ideal[r] is None or rx[r] is None else rx[r] - ideal[r] for r in rates]
        lines.append("| loss, %s | " % name + " | ".join(fmt(x) for x in loss) + " |")
    lines.append("")
    lines.append(
        "SNR in dB at PER 10 %%, PSDU 1000 octets with FCS, 20 MHz; %d frames a point "
        "within %.1f dB of each threshold (or more), in %.1f dB steps (points above 50 %% PER end at "
        "%d lost)." % (frames, FINE_HALF_WIDTH_DB, FINE_STEP_DB, frames // 2)
    )
    return "\n".join(lines)


def write_docs(path, text):
    with open(path, encoding="utf-8") as f:
        doc = f.read()
    pattern = re.compile(re.escape(BEGIN) + ".*?" + re.escape(END), re.S)
    if not pattern.search(doc):
        sys.exit("%s: the markers of the sensitivity table are missing" % path)
    doc = pattern.sub(lambda _: BEGIN + "\n\n" + text + "\n\n" + END, doc)
    with open(path + ".new", "w", encoding="utf-8") as f:
        f.write(doc)
    os.replace(path + ".new", path)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("build", help="the build folder (its bin/dot11a-per is run)")
    ap.add_argument("--frames", type=int, default=1000, help="frames a point near the threshold")
    ap.add_argument("--coarse-frames", type=int, default=100)
    ap.add_argument("--rates", default=",".join(str(r) for r in RATES))
    ap.add_argument("--workers", type=int, default=0, help="dot11a-per --workers (0: all cores)")
    ap.add_argument("--json", help="write every fine point and threshold here")
    ap.add_argument("--write-docs", action="store_true", help="put the table into docs/verify.md")
    a = ap.parse_args()
    tool = os.path.join(a.build, "bin", "dot11a-per")
    rates = [float(r) for r in a.rates.split(",")]
    if a.write_docs and rates != RATES:
        sys.exit("--write-docs needs every rate")

    def log(line):
        print(line, file=sys.stderr, flush=True)

    results, points = {}, {}
    with tempfile.TemporaryDirectory(prefix="sensitivity-") as folder:
        for mode, channel in CASES:
            found, pts = measure(tool, folder, mode, channel, rates, a.frames, a.coarse_frames,
                                 a.workers, log)  # fmt: skip
            results[(mode, channel)] = found
            points[(mode, channel)] = pts
    text = table(results, rates, a.frames)
    print(text)
    if a.json:
        out = [
            {"mode": m, "channel": c, "rate_mbps": r, "snr_db_at_per_10": results[(m, c)][r],
             "points": points[(m, c)].get(r, [])}
            for (m, c) in CASES for r in rates
        ]  # fmt: skip
        with open(a.json, "w", encoding="utf-8") as f:
            json.dump(out, f, indent=1)
    if a.write_docs:
        write_docs(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "docs", "verify.md"), text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
