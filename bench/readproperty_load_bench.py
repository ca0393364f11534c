"""ReadProperty throughput and latency of the backend's own Device object: the ZOR17 program
runs a long device scan (its stack serves the Device object meanwhile) in one namespace, and
bench/readproperty_load.cpp keeps 1, 8 and 32 requests outstanding against it from a second
namespace, a few seconds each, for several rounds. Prints requests/s, p50 and p99 of each
run and the medians over the rounds.

Usage (root): ZOR17_BIN=build/default/bin /usr/bin/python3 bench/readproperty_load_bench.py [rounds] [seconds]
Prints figures only; nothing here passes or fails on a time.
"""

import os
import re
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests"))
os.environ.setdefault("ZOR17_TESTS", os.path.join(HERE, "..", "tests"))
from e2e.harness import backend_job as bj  # noqa: E402
from e2e.harness import netlab, programs  # noqa: E402

DEVICE = 4711
OUTSTANDING = (1, 8, 32)
FIGURES = re.compile(r"rate=(\d+) p50_us=(\d+) p99_us=(\d+) lost=(\d+)")


def load(host, target, outstanding, seconds, warmup_ms=300):
    done = host.run([programs.program("readproperty_load"), "--target", target, "--device", str(DEVICE),
                     "--outstanding", str(outstanding), "--seconds", str(seconds), "--warmup-ms", str(warmup_ms)],
                    timeout=seconds + 30)
    found = FIGURES.search(done.stdout)
    if not found:
        raise RuntimeError(done.stdout + done.stderr)
    return tuple(int(x) for x in found.groups())


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 3
    with netlab.Lab() as lab:
        server, client = lab.host("server"), lab.host("load")
        ip_server, _ = lab.link(server, client)
        tmp = os.path.join(bj.work_folder(), "tmp")
        os.makedirs(tmp)
        scan_time = int(rounds * len(OUTSTANDING) * (seconds + 2) + 30)
        job = bj.general(tmp, ip_server, local_id=DEVICE) + bj.scan_section(tmp, seconds=scan_time)
        path = os.path.join(tmp, "config.ini")
        with open(path, "w") as f:
            f.write(job)
        backend = server.popen([programs.program("ZOR17"), path], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
        try:
            if not netlab.wait_for(lambda: load(client, ip_server, 1, 0.2, 0)[0] > 0, timeout=20, step=0.2):
                print("the backend does not answer")
                return 1
            results = {k: [] for k in OUTSTANDING}
            for r in range(rounds):
                for k in OUTSTANDING:
                    rate, p50, p99, lost = load(client, ip_server, k, seconds)
                    results[k].append((rate, p50, p99))
                    print(f"round {r + 1}: {k:2d} outstanding: {rate:7d} requests/s  p50 {p50:5d} us  "
                          f"p99 {p99:5d} us  lost {lost}", flush=True)
        finally:
            backend.terminate()
            backend.wait(timeout=10)
    print(f"ReadProperty of the Device object, medians of {rounds} rounds of {seconds:g} s:")
    for k in OUTSTANDING:
        rates, p50s, p99s = zip(*results[k])
        print(f"  {k:2d} outstanding: {statistics.median(rates):9.0f} requests/s  p50 {statistics.median(p50s):6.0f} us"
              f"  p99 {statistics.median(p99s):6.0f} us")
    return 0


if __name__ == "__main__":
    netlab.require_root()
    sys.exit(main())
