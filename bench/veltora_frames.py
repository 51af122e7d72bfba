"""Time veltora.synthesize() for a small frame against the C++ benchmark.

Run from the build folder: PYTHONPATH=python /usr/bin/python3 ../bench/veltora_frames.py
It makes 10,000 frames of 100 octets at 54 Mbit/s (oversampling 1, window 1,
no idle interval, as BM_Frame54Mbps100) and then runs that benchmark, so both
figures come from the same machine in one run.
"""

import subprocess
import sys
import time

import veltora

N = 10_000
SETTINGS = dict(rate=54, length=100, oversampling=1, window=1, idle_us=0, source="pn9")


def main():
    for _ in range(200):
        veltora.synthesize(**SETTINGS)
    best = float("inf")
    for _ in range(5):
        start = time.perf_counter()
        for _ in range(N):
            veltora.synthesize(**SETTINGS)
        best = min(best, time.perf_counter() - start)
    per_call = best / N * 1e6
    print(f"python: {N} frames in {best:.3f} s, {per_call:.2f} us per frame (best of 5)")
    bench = sys.argv[1] if len(sys.argv) > 1 else "bin/dot11a-bench"
    out = subprocess.run([bench, "--benchmark_filter=BM_Frame54Mbps100$",
                          "--benchmark_format=csv", "--benchmark_repetitions=5",
                          "--benchmark_report_aggregates_only=true"],
                         capture_output=True, text=True, check=True).stdout
    for line in out.splitlines():
        if "_median" in line:
            cpp = float(line.split(",")[3])  # real_time in the benchmark's unit (us)
            print(f"C++:    {cpp:.2f} us per frame (median of 5); python / C++ = {per_call / cpp:.1f}")


if __name__ == "__main__":
    main()
