#!/usr/bin/env python3
"""Start-up time to the first shown window and peak memory of the real program, next to a
minimal Qt window as the floor. Run under a display (scripts/bench-startup.sh uses Xvfb).

Usage: bench-startup.py <startup_probe> <minimal_window_probe> [runs]
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time


def measure(program, runs):
    times, peaks = [], []
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ, XDG_DATA_HOME=home)
        for _ in range(runs + 1):  # the first run warms the caches and is not counted
            started = time.monotonic_ns()
            result = subprocess.run([program], env=env, capture_output=True, text=True,
                                    timeout=60, check=True)
            line = next(l for l in result.stdout.splitlines() if l.startswith("shown "))
            _, shown, peak_kib = line.split()
            times.append((int(shown) - started) / 1e6)
            peaks.append(int(peak_kib) / 1024)
    return times[1:], peaks[1:]


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 20
    print(f"{'program':<22} {'median ms':>10} {'min ms':>8} {'max ms':>8} {'peak MiB':>9}")
    for name, program in (("whois-desktop", sys.argv[1]), ("minimal Qt window", sys.argv[2])):
        times, peaks = measure(program, runs)
        print(f"{name:<22} {statistics.median(times):>10.1f} {min(times):>8.1f} "
              f"{max(times):>8.1f} {statistics.median(peaks):>9.1f}")


if __name__ == "__main__":
    main()
