"""Runs the backend program on a job file inside a test host, against a simulated unit."""

import os
import tempfile
import unittest

from . import netlab, node_peer, programs

SIZES = {1: 146, 2: 34, 3: 56, 4: 4, 5: 2}
READ_ORDER = (1, 4, 2, 3, 5)
WRITE_ORDER = (1, 4, 3, 5)
END_LINES = ("-->Successful finished", "-->Error while executing the functions",
             "-->Error while reading the configuration file")


def unit_files(folder, seed=0):
    """Writes the unit's five File objects with distinct octets; returns {instance: bytes}."""
    os.makedirs(folder, exist_ok=True)
    contents = {}
    for i, n in SIZES.items():
        data = bytes((seed + i * 16 + k * 7) % 256 for k in range(n))
        with open(os.path.join(folder, f"file{i}.bin"), "wb") as f:
            f.write(data)
        contents[i] = data
    return contents


def start_unit(host, broadcast, files, **options):
    opts = {"device": 1234, "broadcast": broadcast, "files": files}
    opts.update(options)
    return node_peer.start_ready(host, "zor17_unit.js", opts, timeout=10)


def general(tmp, ip, local_id=4711):
    return (f"[GENERAL]\nLOGFILE={tmp}/logfile.txt\nLOCAL_DEVICE_ID={local_id}\nLINK=BACnet_IP\n"
            f"[BACnet_IP]\nIP={ip}\nPORT=47808\n")


def read_section(i, tmp, device=1234):
    return (f"[READ_{i}]\nTODO=READ\nDEVICE_ID={device}\nFILE_INSTANCE={i}\nSTART=0\nEND={SIZES[i]}\n"
            f"RESULTFILE={tmp}/file{i}.bin\n")


def write_section(i, source, device=1234):
    return (f"[WRITE_{i}]\nTODO=WRITE\nDEVICE_ID={device}\nFILE_INSTANCE={i}\nSTART=0\nEND={SIZES[i]}\n"
            f"SOURCEFILE={source}\n")


def scan_section(tmp, seconds=1):
    return (f"[SCAN]\nTODO=SCAN_DEVICE\nRANGE_LOW=0\nRANGE_HIGH=4194302\nSCAN_TIME={seconds}\n"
            f"RESULTFILE={tmp}/result.csv\n")


def run_job(host, tmp, text, timeout=120, **kw):
    """Writes config.ini into tmp, runs the backend on it (kw goes to the run); returns
    (completed process, log text)."""
    os.makedirs(tmp, exist_ok=True)
    path = os.path.join(tmp, "config.ini")
    with open(path, "w") as f:
        f.write(text)
    log = os.path.join(tmp, "logfile.txt")
    if os.path.exists(log):
        os.remove(log)
    done = host.run([programs.program("ZOR17"), path], timeout=timeout, check=False, **kw)
    with open(log) as f:
        return done, f.read()


def end_lines(log):
    return [line for line in log.splitlines() if line in END_LINES]


def work_folder():
    return tempfile.mkdtemp(prefix="zor17-job-")


def stop(proc):
    """Ends a peer (its output piped) and closes its output; what it printed after the lines
    already read."""
    if proc.poll() is None:
        proc.terminate()
        proc.wait(timeout=5)
    rest = proc.stdout.read()
    proc.stdout.close()
    return rest


class JobLabCase(unittest.TestCase):
    """The lab of the job tests: a backend host and a unit host on one link, shared by the
    class; every test gets a work folder with the unit's five files, and `peer` (a simulated
    unit or another peer it starts) ends with the test."""

    @classmethod
    def setUpClass(cls):
        cls.lab = netlab.Lab().__enter__()
        cls.backend, cls.unit_host = cls.lab.host("backend"), cls.lab.host("unit")
        cls.ip_backend, cls.ip_unit = cls.lab.link(cls.backend, cls.unit_host)

    @classmethod
    def tearDownClass(cls):
        cls.lab.close()

    def setUp(self):
        self.work = work_folder()
        self.tmp = os.path.join(self.work, "tmp")
        self.unit_dir = os.path.join(self.work, "unit")
        self.contents = unit_files(self.unit_dir)
        self.peer = None

    def tearDown(self):
        if self.peer:
            stop(self.peer)

    def assert_end_line(self, log, expected):
        """The log has that one end line, as its last line."""
        self.assertEqual(end_lines(log), [expected], log)
        self.assertTrue(log.endswith("\n" + expected + "\n"), log)
