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


def run_once(program, env):
    """Starts `program` once; returns its time to the shown window (ms) and peak MiB."""
    started = time.monotonic_ns()
    result = subprocess.run([program], env=env, capture_output=True, text=True, timeout=60,
                            check=True)
    line = next(l for l in result.stdout.splitlines() if l.startswith("shown "))
    _, shown, peak_kib = line.split()
    return (int(shown) - started) / 1e6, int(peak_kib) / 1024


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 20
    programs = (("whois-desktop", sys.argv[1]), ("minimal Qt window", sys.argv[2]))
    times = {name: [] for name, _ in programs}
    peaks = {name: [] for name, _ in programs}
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ, XDG_DATA_HOME=home)
        # The programs take turns, so that the machine's changing speed weighs on both
        # alike; the first turn warms the caches and is not counted.
        for turn in range(runs + 1):
            for name, program in programs:
                shown, peak = run_once(program, env)
                if turn > 0:
                    times[name].append(shown)
                    peaks[name].append(peak)
    print(f"{'program':<22} {'median ms':>10} {'min ms':>8} {'max ms':>8} {'peak MiB':>9}")
    for name, _ in programs:
        print(f"{name:<22} {statistics.median(times[name]):>10.1f} {min(times[name]):>8.1f} "
              f"{max(times[name]):>8.1f} {statistics.median(peaks[name]):>9.1f}")
    program, floor = (name for name, _ in programs)
    print(f"ratio to the minimal window: start-up "
          f"{statistics.median(times[program]) / statistics.median(times[floor]):.2f}, "
          f"peak memory {statistics.median(peaks[program]) / statistics.median(peaks[floor]):.2f}")


if __name__ == "__main__":
    main()
