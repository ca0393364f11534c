"""Where the benchmarks put the stack and its load on the machine's processors (taskset), and the
busy processes that share them, for bench/readproperty_load_bench.py and bench/station_setup_bench.py.

Placements (BENCH_PLACEMENTS, comma-separated; all four unless given):
  unpinned   no pinning: wherever the system puts them;
  two        the stack and its load on the two processors of BENCH_CORES (6,7 unless given);
  two-busy   the same, with one busy loop per processor pinned to the same two processors;
  one        the stack alone on the first of them, its load on every other processor.
BENCH_BASE_BIN names the programs of an earlier build (its bin folder): they are measured side
by side with ours, round after round, so that both meet the same load of the machine.
"""

import contextlib
import os
import subprocess
import sys

PLACEMENTS = ("unpinned", "two", "two-busy", "one")


def chosen():
    names = os.environ.get("BENCH_PLACEMENTS", ",".join(PLACEMENTS)).split(",")
    unknown = [n for n in names if n not in PLACEMENTS]
    if unknown:
        raise SystemExit(f"unknown placements {unknown}; known: {', '.join(PLACEMENTS)}")
    return names


def cores():
    return [int(c) for c in os.environ.get("BENCH_CORES", "6,7").split(",")][:2]


def base_bin():
    return os.environ.get("BENCH_BASE_BIN", "")


def cpus(placement, role):
    """The processors (a set, empty: any) of `role` ("stack" or "load") under `placement`."""
    two = cores()
    if placement in ("two", "two-busy"):
        return set(two)
    if placement == "one":
        return {two[0]} if role == "stack" else set(range(os.cpu_count())) - {two[0]}
    return set()


def prefix(placement, role):
    """The command that starts a program of `role` under `placement`."""
    chosen_cpus = cpus(placement, role)
    return ["taskset", "-c", ",".join(str(c) for c in sorted(chosen_cpus))] if chosen_cpus else []


@contextlib.contextmanager
def busy(placement):
    """One busy loop per pinned processor while the placement wants them (no network at all)."""
    loops = []
    if placement == "two-busy":
        for _ in cores():
            loops.append(subprocess.Popen(prefix(placement, "stack") +
                                          [sys.executable, "-c", "while True: pass"]))
    try:
        yield
    finally:
        for loop in loops:
            loop.kill()
            loop.wait()


@contextlib.contextmanager
def this_process(placement, role):
    """Runs the benchmark's own process (a load that is no program of its own) on `role`'s processors."""
    before = os.sched_getaffinity(0)
    wanted = cpus(placement, role)
    os.sched_setaffinity(0, wanted or set(range(os.cpu_count())))
    try:
        yield
    finally:
        os.sched_setaffinity(0, before)


def cpu_seconds(pid):
    """User and system time of process `pid` so far, in seconds."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def idle_share(pids, seconds):
    """{pid: share of one processor} each process used over `seconds` with nothing asked of it."""
    import time
    before = {pid: cpu_seconds(pid) for pid in pids}
    time.sleep(seconds)
    return {pid: (cpu_seconds(pid) - before[pid]) / seconds for pid in pids}
