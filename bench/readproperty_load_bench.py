"""ReadProperty throughput and latency of the backend's own Device object: the ZOR17 program
runs a long device scan (its stack serves the Device object meanwhile) in one namespace, and
bench/readproperty_load.cpp keeps 1, 8 and 32 requests outstanding against it from a second
namespace, a few seconds each, for several rounds. Each run is followed by the same load
against a single-threaded responder on our codec (readproperty_load --serve, in a third
namespace): what the machine and the lab allow at that moment, so that the load of other
processes shows apart from the stack's own cost. Prints every run, the medians over the
rounds and the machine's load average.

Usage (root): ZOR17_BIN=build/default/bin /usr/bin/python3 bench/readproperty_load_bench.py [rounds] [seconds]
BENCH_PREFIX="nice -n -15" starts the backend, the responder and the load generator under
that command: on a machine that other processes keep busy, it spares them part of the
scheduling delays that would otherwise be measured. Prints figures only; nothing here
passes or fails on a time.
"""

import os
import re
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests"))
os.environ.setdefault("ZOR17_TESTS", os.path.join(HERE, "..", "tests"))
from e2e.harness import backend_job as bj  # noqa: E402
from e2e.harness import netlab, programs  # noqa: E402

DEVICE = 4711
OUTSTANDING = (1, 8, 32)
PREFIX = os.environ.get("BENCH_PREFIX", "").split()
FIGURES = re.compile(r"rate=(\d+) p50_us=(\d+) p99_us=(\d+) lost=(\d+)")


def load(host, target, outstanding, seconds, warmup_ms=300):
    """(requests/s, p50 us, p99 us, lost) of one run."""
    done = host.run(PREFIX + [programs.program("readproperty_load"), "--target", target, "--device", str(DEVICE),
                     "--outstanding", str(outstanding), "--seconds", str(seconds), "--warmup-ms", str(warmup_ms)],
                    timeout=seconds + 30)
    found = FIGURES.search(done.stdout)
    if not found:
        raise RuntimeError(done.stdout + done.stderr)
    return tuple(int(x) for x in found.groups())


def answering(host, target):
    return netlab.wait_for(lambda: load(host, target, 1, 0.2, 0)[0] > 0, timeout=20, step=0.2)


def line(name, figures):
    rate, p50, p99 = figures[:3]
    return f"{name}: {rate:7.0f} requests/s  p50 {p50:5.0f} us  p99 {p99:6.0f} us"


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 3
    load_before = os.getloadavg()[0]
    with netlab.Lab() as lab:
        server, client, responder = lab.host("server"), lab.host("load"), lab.host("responder")
        ip_server, _ = lab.link(server, client)
        _, ip_responder = lab.link(client, responder)
        tmp = os.path.join(bj.work_folder(), "tmp")
        os.makedirs(tmp)
        scan_time = int(rounds * len(OUTSTANDING) * 2 * (seconds + 2) + 30)
        job = bj.general(tmp, ip_server, local_id=DEVICE) + bj.scan_section(tmp, seconds=scan_time)
        path = os.path.join(tmp, "config.ini")
        with open(path, "w") as f:
            f.write(job)
        backend = server.popen(PREFIX + [programs.program("ZOR17"), path], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
        floor = responder.popen(PREFIX + [programs.program("readproperty_load"), "--serve", "1"], stdout=subprocess.DEVNULL)
        if not answering(client, ip_server) or not answering(client, ip_responder):
            print("the backend or the responder does not answer")
            return 1
        ours = {k: [] for k in OUTSTANDING}
        bare = {k: [] for k in OUTSTANDING}
        for r in range(rounds):
            for k in OUTSTANDING:
                ours[k].append(load(client, ip_server, k, seconds))
                bare[k].append(load(client, ip_responder, k, seconds))
                print(f"round {r + 1}, {k:2d} outstanding: " + line("ZOR17", ours[k][-1]) + "  |  " +
                      line("responder", bare[k][-1]) + f"  lost {ours[k][-1][3]}", flush=True)
        backend.terminate()
        floor.terminate()
        backend.wait(timeout=10)
        floor.wait(timeout=10)
    print(f"ReadProperty of the Device object, medians of {rounds} rounds of {seconds:g} s "
          f"(load average {load_before:.1f} before, {os.getloadavg()[0]:.1f} after):")
    for k in OUTSTANDING:
        med = [statistics.median(column) for column in zip(*ours[k])]
        floor_med = [statistics.median(column) for column in zip(*bare[k])]
        print(f"  {k:2d} outstanding  " + line("ZOR17", med) + "  |  " + line("single-threaded responder", floor_med))
    return 0


if __name__ == "__main__":
    netlab.require_root()
    sys.exit(main())
