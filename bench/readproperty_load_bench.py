"""ReadProperty throughput and latency of the backend's own Device object: the ZOR17 program
runs a long device scan (its stack serves the Device object meanwhile) in one namespace, and
bench/readproperty_load.cpp keeps 1, 8 and 32 requests outstanding against it from a second
namespace, a few seconds each, for several rounds. Each run is followed by the same load
against a single-threaded responder on our codec (readproperty_load --serve, in a third
namespace): what the machine and the lab allow at that moment, so that the load of other
processes shows apart from the stack's own cost. With BENCH_BASE_BIN an earlier build's ZOR17
runs beside ours in a namespace of its own and is measured in turn. Every placement of
bench/placement.py (the stack and its load pinned to two processors, with and without busy
loops beside them, the stack alone on one, unpinned) is measured in turn; the responder and the
earlier build get the same processors as ours. Prints every run, the medians over the rounds
and the machine's load average.

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
import placement  # noqa: E402

DEVICE = 4711
OUTSTANDING = (1, 8, 32)
IDLE_SECONDS = 10
PREFIX = os.environ.get("BENCH_PREFIX", "").split()
FIGURES = re.compile(r"rate=(\d+) p50_us=(\d+) p99_us=(\d+) lost=(\d+)")


def load(host, target, outstanding, seconds, warmup_ms=300, where=()):
    """(requests/s, p50 us, p99 us, lost) of one run."""
    done = host.run(PREFIX + list(where) +
                    [programs.program("readproperty_load"), "--target", target, "--device", str(DEVICE),
                     "--outstanding", str(outstanding), "--seconds", str(seconds), "--warmup-ms", str(warmup_ms)],
                    timeout=seconds + 30)
    found = FIGURES.search(done.stdout)
    if not found:
        raise RuntimeError(done.stdout + done.stderr)
    return tuple(int(x) for x in found.groups())


def answering(host, target):
    return netlab.wait_for(lambda: load(host, target, 1, 0.2, 0)[0] > 0, timeout=20, step=0.2)


def backend(host, ip, tmp, scan_time, program, where):
    os.makedirs(tmp)
    job = bj.general(tmp, ip, local_id=DEVICE) + bj.scan_section(tmp, seconds=scan_time)
    path = os.path.join(tmp, "config.ini")
    with open(path, "w") as f:
        f.write(job)
    return host.popen(PREFIX + where + [program, path], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def measure(lab_hosts, name, rounds, seconds):
    """Runs of every side under one placement: {side: {outstanding: [figures]}}, or None."""
    client, targets = lab_hosts
    where = placement.prefix(name, "stack")
    load_where = placement.prefix(name, "load")
    scan_time = int(rounds * len(OUTSTANDING) * len(targets) * (seconds + 2) + 30)
    work = bj.work_folder()
    started = []
    for side, (host, ip) in targets.items():
        if side == "responder":
            started.append(host.popen(PREFIX + where + [programs.program("readproperty_load"), "--serve", "1"],
                                      stdout=subprocess.DEVNULL))
        else:
            program = os.path.join(placement.base_bin(), "ZOR17") if side == "earlier" else programs.program("ZOR17")
            started.append(backend(host, ip, os.path.join(work, side), scan_time, os.path.abspath(program), where))
    try:
        if not all(answering(client, ip) for _, ip in targets.values()):
            print("a backend or the responder does not answer")
            return None
        runs = {side: {k: [] for k in OUTSTANDING} for side in targets}
        if name == placement.chosen()[0]:
            # The ip netns exec and the taskset before it exec the program: the pid is the backend's.
            pids = {side: proc.pid for side, proc in zip(targets, started) if side != "responder"}
            shares = placement.idle_share(list(pids.values()), IDLE_SECONDS)
            print(f"idle for {IDLE_SECONDS} s: " + ", ".join(f"{side} {100 * shares[pid]:.2f} % of one processor"
                                                            for side, pid in pids.items()), flush=True)
        with placement.busy(name):
            for r in range(rounds):
                for k in OUTSTANDING:
                    for side, (_, ip) in targets.items():
                        runs[side][k].append(load(client, ip, k, seconds, where=load_where))
                    print(f"{name}, round {r + 1}, {k:2d} outstanding: " +
                          "  |  ".join(line(side, runs[side][k][-1]) + f" lost {runs[side][k][-1][3]}"
                                       for side in targets), flush=True)
    finally:
        for proc in started:
            proc.terminate()
        for proc in started:
            proc.wait(timeout=10)
    return runs


def line(name, figures):
    rate, p50, p99 = figures[:3]
    return f"{name}: {rate:7.0f} requests/s  p50 {p50:5.0f} us  p99 {p99:6.0f} us"


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 3
    load_before = os.getloadavg()[0]
    results = {}
    with netlab.Lab() as lab:
        client = lab.host("load")
        sides = ["ZOR17"] + (["earlier"] if placement.base_bin() else []) + ["responder"]
        targets = {}
        for side in sides:
            host = lab.host(side.lower())
            ip, _ = lab.link(host, client)
            targets[side] = (host, ip)
        for name in placement.chosen():
            results[name] = measure((client, targets), name, rounds, seconds)
            if results[name] is None:
                return 1
    print(f"ReadProperty of the Device object, medians of {rounds} rounds of {seconds:g} s "
          f"(load average {load_before:.1f} before, {os.getloadavg()[0]:.1f} after):")
    for name, runs in results.items():
        print(f"  {name}:")
        for k in OUTSTANDING:
            med = {side: [statistics.median(column) for column in zip(*runs[side][k])] for side in runs}
            ratios = "  ".join(f"{side}/responder {med[side][0] / max(1, med['responder'][0]):4.2f}"
                               for side in runs if side != "responder")
            if "earlier" in med:
                ratios += f"  ZOR17/earlier {med['ZOR17'][0] / max(1, med['earlier'][0]):4.2f}"
            print(f"    {k:2d} outstanding  " + "  |  ".join(line(side, med[side]) for side in runs) + "  " + ratios)
    return 0


if __name__ == "__main__":
    netlab.require_root()
    sys.exit(main())
