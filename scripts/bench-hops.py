#!/usr/bin/env python3
"""Side by side on loopback: Debian's whois client, whois-lookup and the real window, each
looking up google.com at a registry server (127.0.0.1:43) that refers it to a registrar
server (127.0.0.2:43). Both servers replay recorded answers and note when each request line
arrives. Run it where the registry's and the registrar's names resolve to those addresses
and port 43 may be bound (scripts/bench-hops.sh sets up such a private namespace).

Usage: bench-hops.py <whois-lookup> <window_lookup_probe> <samples dir> [runs]

Per run, in turn: `whois google.com`, `whois-lookup google.com`, one click in the window.
A hop is the time from the registry server receiving the request to the registrar server
receiving the follow-up; the wall time is from starting a command-line process to its exit.
"""
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

QUERY = "google.com"
REGISTRY = ("127.0.0.1", "whois.verisign-grs.com__google.com.txt")
REGISTRAR = ("127.0.0.2", "whois.markmonitor.com__google.com.txt")
REGISTRAR_MARK = b"MarkMonitor, Inc."  # in the registrar's answer only


class ReplayServer:
    """Answers every connection with the same bytes: reads the request line, notes when it
    arrived, sends the answer and closes."""

    def __init__(self, name, address, answer, log):
        self.name, self.answer, self.log = name, answer, log
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind((address, 43))
        self.listener.listen(16)
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            connection, _ = self.listener.accept()
            with connection:
                connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
                request = b""
                while b"\n" not in request:
                    piece = connection.recv(4096)
                    if not piece:
                        break
                    request += piece
                arrived = time.monotonic_ns()
                if b"\n" not in request:
                    continue
                self.log.append((self.name, arrived, request.decode("latin-1").strip()))
                connection.sendall(self.answer)


def hops_from(log):
    """Each registry request paired with the registrar request that follows it, in ms."""
    hops, pending = [], None
    for name, arrived, _ in log:
        if name == "registry":
            pending = arrived
        elif pending is not None:
            hops.append((arrived - pending) / 1e6)
            pending = None
    return hops


def run_command(argv, env, log, check_output=False):
    """Runs one command-line lookup; returns its wall time, its hop, the time from its start
    to the registry's request and from the registrar's request to its exit (ms), and the
    requests seen."""
    del log[:]
    output = subprocess.PIPE if check_output else subprocess.DEVNULL
    started = time.monotonic_ns()
    process = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=output,
                               stderr=output)
    # A wait with a timeout polls with growing sleeps, which would blur the exit time; a
    # watchdog stops a process that hangs instead.
    watchdog = threading.Timer(30, process.kill)
    watchdog.start()
    out, err = process.communicate()
    ended = time.monotonic_ns()
    watchdog.cancel()
    wall = (ended - started) / 1e6
    if process.returncode != 0:
        sys.exit(f"{argv[0]} exited with {process.returncode}: {err!r}")
    if check_output and REGISTRAR_MARK not in out:
        sys.exit(f"{argv[0]} did not print the registrar's answer:\n{out.decode(errors='replace')}")
    hops = hops_from(log)
    if len(hops) != 1:
        sys.exit(f"{argv[0]}: expected one registry and one registrar request, saw {log}")
    before = (log[0][1] - started) / 1e6
    after = (ended - log[-1][1]) / 1e6
    return wall, hops[0], before, after, list(log)


class Window:
    """The probe, clicking once each time it is told to."""

    def __init__(self, probe, env, lookups):
        env = dict(env, QT_QPA_PLATFORM="offscreen", WHOIS_PROBE_STEP="1")
        self.process = subprocess.Popen([probe, str(lookups), QUERY], env=env,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        text=True, bufsize=1)

    def lookup(self, log):
        """One click; returns the hop (ms), the click to shown time (ms) and the requests."""
        del log[:]
        self.process.stdin.write("\n")
        self.process.stdin.flush()
        line = self.process.stdout.readline()
        if not line.startswith("lookup "):
            sys.exit(f"window_lookup_probe ended early (status {self.process.wait()})")
        _, _, clicked, shown = line.split()
        hops = hops_from(log)
        if len(hops) != 1:
            sys.exit(f"window: expected one registry and one registrar request, saw {log}")
        return hops[0], (int(shown) - int(clicked)) / 1e6, list(log)

    def close(self):
        self.process.stdin.close()
        if self.process.wait(timeout=30) != 0:
            sys.exit(f"window_lookup_probe exited with {self.process.returncode}")


def summary(values):
    p90 = statistics.quantiles(values, n=10)[8] if len(values) > 1 else values[0]
    return statistics.median(values), p90


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    whois_lookup, probe, samples = sys.argv[1:4]
    runs = int(sys.argv[4]) if len(sys.argv) > 4 else 50

    log = []
    for name, (address, sample) in (("registry", REGISTRY), ("registrar", REGISTRAR)):
        with open(os.path.join(samples, sample), "rb") as f:
            ReplayServer(name, address, f.read(), log)

    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ, XDG_DATA_HOME=os.path.join(home, "data"),
                   XDG_CACHE_HOME=os.path.join(home, "cache"), XDG_RUNTIME_DIR=home)
        clients = {"whois": ["whois", QUERY], "whois-lookup": [whois_lookup, QUERY]}
        window = Window(probe, env, runs + 1)

        # One turn each that is not counted: it checks the answers and warms the caches.
        # The window's first lookup also pays for loading its fonts and starting threads.
        print("requests seen in the first turn:")
        for name, argv in clients.items():
            *_, requests = run_command(argv, env, log, check_output=True)
            print(f"  {name:<13} " + ", ".join(f"{s} {r!r}" for s, _, r in requests))
        first_hop, first_shown, requests = window.lookup(log)
        print(f"  {'window':<13} " + ", ".join(f"{s} {r!r}" for s, _, r in requests))

        walls = {name: [] for name in clients}
        befores = {name: [] for name in clients}
        afters = {name: [] for name in clients}
        hops = {name: [] for name in clients}
        hops["window"], shown = [], []
        for _ in range(runs):
            for name, argv in clients.items():
                wall, hop, before, after, _ = run_command(argv, env, log)
                walls[name].append(wall)
                befores[name].append(before)
                afters[name].append(after)
                hops[name].append(hop)
            hop, click_to_shown, _ = window.lookup(log)
            hops["window"].append(hop)
            shown.append(click_to_shown)
        window.close()

    print()
    print(f"{'client':<13} {'hop median ms':>14} {'hop p90 ms':>11} "
          f"{'wall median ms':>15} {'wall p90 ms':>12}")
    for name in ("whois", "whois-lookup", "window"):
        hop_median, hop_p90 = summary(hops[name])
        wall = f"{'-':>15} {'-':>12}"  # the window is one process for every run
        if name in walls:
            wall_median, wall_p90 = summary(walls[name])
            wall = f"{wall_median:>15.2f} {wall_p90:>12.2f}"
        print(f"{name:<13} {hop_median:>14.3f} {hop_p90:>11.3f} {wall}")
    for name in clients:
        print(f"{name}, wall time median parts: start to registry request "
              f"{statistics.median(befores[name]):.2f} ms, hop {statistics.median(hops[name]):.2f}"
              f" ms, registrar request to exit {statistics.median(afters[name]):.2f} ms")
    shown_median, shown_p90 = summary(shown)
    print(f"window, click to registrar's answer shown: median {shown_median:.2f} ms, "
          f"p90 {shown_p90:.2f} ms; first lookup (not counted): hop {first_hop:.2f} ms, "
          f"shown {first_shown:.2f} ms")
    print("hop deciles, ms (10th to 90th percentile):")
    for name in ("whois", "whois-lookup", "window"):
        deciles = statistics.quantiles(hops[name], n=10)
        print(f"  {name:<13} " + " ".join(f"{d:.2f}" for d in deciles))
    print()
    whois_hop = statistics.median(hops["whois"])
    window_hop = statistics.median(hops["window"])
    print(f"hop (registry request -> registrar request), median of {runs}: "
          f"whois {whois_hop:.2f} ms, window {window_hop:.2f} ms, "
          f"ratio {window_hop / whois_hop:.2f}")
    whois_wall = statistics.median(walls["whois"])
    lookup_wall = statistics.median(walls["whois-lookup"])
    print(f"2-hop lookup wall time, median of {runs}: whois {whois_wall:.2f} ms, "
          f"whois-lookup {lookup_wall:.2f} ms, ratio {lookup_wall / whois_wall:.2f}")


if __name__ == "__main__":
    main()
