"""Times whole READ jobs of the five File objects (process start to exit) against the
simulated ZOR17 unit in a network-namespace lab, and the same protocol work done by a node
script on @bacnet-js/client (bench/read_job_peer.js) in the same lab, runs interleaved, so
both meet the same load of the machine. Prints the medians, their spread and the ratio.

Usage (root): ZOR17_BIN=build/default/bin /usr/bin/python3 bench/backend_read_job_bench.py [runs]
With BENCH_BASE_BIN (an earlier build's bin folder) that build's ZOR17 runs the same job in turn.
Prints figures only; nothing here passes or fails on a time.
"""

import json
import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests"))
os.environ.setdefault("ZOR17_TESTS", os.path.join(HERE, "..", "tests"))
from e2e.harness import backend_job as bj  # noqa: E402
from e2e.harness import netlab, programs  # noqa: E402

BROADCAST = "10.111.1.255"


def timed(host, args, **kw):
    """(milliseconds from process start to exit, completed process); the lab's isolation check
    runs before the clock starts."""
    host.check_isolation()
    start = time.perf_counter()
    done = host.run(args, check=False, check_isolation=False, timeout=60, **kw)
    return (time.perf_counter() - start) * 1000, done


def backend_run(host, tmp, job, program=None):
    os.makedirs(tmp, exist_ok=True)
    path = os.path.join(tmp, "config.ini")
    with open(path, "w") as f:
        f.write(job)
    ms, _ = timed(host, [program or programs.program("ZOR17"), path])
    with open(os.path.join(tmp, "logfile.txt")) as f:
        log = f.read()
    if "-->Successful finished" not in log:
        raise RuntimeError("a backend run did not succeed:\n" + log)
    return ms


def node_run(host, folder):
    opts = {"broadcast": BROADCAST, "device": 1234, "sizes": bj.SIZES,
            "order": list(bj.READ_ORDER), "folder": folder}
    env = dict(os.environ, NODE_PATH=os.path.join(os.environ["ZOR17_TESTS"], "node_modules"))
    ms, done = timed(host, ["node", os.path.join(HERE, "read_job_peer.js"), json.dumps(opts)], env=env)
    answer = json.loads(done.stdout.strip().splitlines()[-1]) if done.stdout.strip() else {}
    if answer.get("ok") is not True:
        raise RuntimeError(f"the node peer failed: {done.stdout}{done.stderr}")
    return ms


def summary(name, times):
    return (f"{name}: median {statistics.median(times):.1f} ms, min {min(times):.1f} ms, "
            f"max {max(times):.1f} ms")


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 10
    with netlab.Lab() as lab:
        backend, unit_host = lab.host("backend"), lab.host("unit")
        ip_backend, _ = lab.link(backend, unit_host)
        work = bj.work_folder()
        unit_dir = os.path.join(work, "unit")
        contents = bj.unit_files(unit_dir)
        unit = bj.start_unit(unit_host, BROADCAST, unit_dir)
        tmp = os.path.join(work, "tmp")
        node_dir = os.path.join(work, "node")
        os.makedirs(node_dir)
        job = bj.general(tmp, ip_backend) + "".join(bj.read_section(i, tmp) for i in bj.READ_ORDER)
        ours, node, baseline, earlier = [], [], [], []
        base = os.environ.get("BENCH_BASE_BIN")
        for _ in range(runs):
            ours.append(backend_run(backend, tmp, job))
            if base:
                earlier.append(backend_run(backend, tmp, job, os.path.abspath(os.path.join(base, "ZOR17"))))
            node.append(node_run(backend, node_dir))
            baseline.append(timed(backend, ["/bin/true"])[0])
        for i in bj.READ_ORDER:
            for folder in (tmp, node_dir):
                with open(os.path.join(folder, f"file{i}.bin"), "rb") as f:
                    if f.read() != contents[i]:
                        print(f"file{i}.bin in {folder} differs from the unit's")
                        return 1
        unit.terminate()
        unit.wait()
    print(f"READ job of 5 File objects, {runs} runs each, interleaved")
    print(summary("  ZOR17 backend        ", ours))
    print(summary("  node @bacnet-js peer ", node))
    print(f"  ratio backend / node: {statistics.median(ours) / statistics.median(node):.2f}")
    if earlier:
        print(summary("  earlier build        ", earlier) +
              f"  (ratio / node: {statistics.median(earlier) / statistics.median(node):.2f})")
    print(summary("  /bin/true, same path ", baseline) + "  (what starting any program in the lab costs)")
    return 0


if __name__ == "__main__":
    netlab.require_root()
    sys.exit(main())
