"""Time veltora.synthesize() for a small frame against the C++ benchmark.

Run from the build folder: PYTHONPATH=python /usr/bin/python3 ../bench/veltora_frames.py
It makes 10,000 frames of 100 octets at 54 Mbit/s (oversampling 1, window 1,
no idle interval, as BM_Frame54Mbps100) and then runs that benchmark, so both
figures come from the same machine in one run. Both are given as CPU time of
the process and as wall-clock time: on a loaded machine the wall-clock time
also counts the waits for a core.
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
    cpu = wall = float("inf")
    for _ in range(5):
        c0, w0 = time.process_time(), time.perf_counter()
        for _ in range(N):
            veltora.synthesize(**SETTINGS)
        cpu = min(cpu, time.process_time() - c0)
        wall = min(wall, time.perf_counter() - w0)
    print(f"python: {N} frames in {wall:.3f} s wall-clock, {cpu:.3f} s CPU (best of 5): "
          f"{cpu / N * 1e6:.2f} us CPU, {wall / N * 1e6:.2f} us wall-clock per frame")
    bench = sys.argv[1] if len(sys.argv) > 1 else "bin/dot11a-bench"
    out = subprocess.run([bench, "--benchmark_filter=BM_Frame54Mbps100$",
                          "--benchmark_format=csv", "--benchmark_repetitions=5",
                          "--benchmark_report_aggregates_only=true"],
                         capture_output=True, text=True, check=True).stdout
    for line in out.splitlines():
        if "_median" in line:
            fields = line.split(",")  # name, iterations, real_time, cpu_time (us)
            real, cpu_us = float(fields[2]), float(fields[3])
            print(f"C++:    {cpu_us:.2f} us CPU, {real:.2f} us wall-clock per frame (median of 5); "
                  f"python / C++ = {cpu / N * 1e6 / cpu_us:.1f} (CPU), "
                  f"{wall / N * 1e6 / real:.1f} (wall-clock)")


if __name__ == "__main__":
    main()
