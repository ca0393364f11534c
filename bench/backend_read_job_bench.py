"""Times whole READ jobs of the five File objects (process start to exit) against the
simulated ZOR17 unit in a network-namespace lab, and prints the median and spread.

Usage (root): ZOR17_BIN=build/default/bin /usr/bin/python3 bench/backend_read_job_bench.py [runs]
Prints figures only; nothing here passes or fails on a time.
"""

import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests"))
os.environ.setdefault("ZOR17_TESTS", os.path.join(HERE, "..", "tests"))
from e2e.harness import backend_job as bj  # noqa: E402
from e2e.harness import netlab  # noqa: E402


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 10
    with netlab.Lab() as lab:
        backend, unit_host = lab.host("backend"), lab.host("unit")
        ip_backend, _ = lab.link(backend, unit_host)
        work = bj.work_folder()
        unit_dir = os.path.join(work, "unit")
        bj.unit_files(unit_dir)
        unit = bj.start_unit(unit_host, "10.111.1.255", unit_dir)
        tmp = os.path.join(work, "tmp")
        job = bj.general(tmp, ip_backend) + "".join(bj.read_section(i, tmp) for i in bj.READ_ORDER)
        times = []
        for _ in range(runs):
            start = time.perf_counter()
            _, log = bj.run_job(backend, tmp, job)
            times.append((time.perf_counter() - start) * 1000)
            if "-->Successful finished" not in log:
                print("a run did not succeed:\n" + log)
                return 1
        unit.terminate()
        unit.wait()
    print(f"READ job of 5 File objects, {runs} runs: median {statistics.median(times):.1f} ms, "
          f"min {min(times):.1f} ms, max {max(times):.1f} ms")
    return 0


if __name__ == "__main__":
    netlab.require_root()
    sys.exit(main())
