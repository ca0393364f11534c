"""Captures frames inside a namespace with tshark and checks every one of them."""

import os
import subprocess
import tempfile
import time

from . import netlab


class Capture:
    """tshark capturing on one interface of a host until stopped; then dissected and checked."""

    def __init__(self, host, interface, capture_filter="udp", name="capture"):
        self.dir = tempfile.mkdtemp(prefix="zor17-capture-")
        self.path = os.path.join(self.dir, f"{name}.pcap")
        self.proc = host.popen(["tshark", "-q", "-n", "-i", interface, "-f", capture_filter, "-w", self.path],
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        # tshark reports "Capture started." once its capture child listens.
        for _ in range(20):
            line = self.proc.stderr.readline()
            if not line or "Capture started" in line:
                break

    def stop(self):
        time.sleep(0.3)  # let the last frames reach the file
        self.proc.terminate()
        self.proc.wait(timeout=10)
        self.proc.stderr.close()
        return self.path


def tshark(path, *args):
    return subprocess.run(["tshark", "-n", "-r", path, *args], capture_output=True, text=True, check=True).stdout


def fields(path, *names, display_filter=None):
    """One tuple per packet with the requested fields."""
    args = ["-T", "fields", "-E", "separator=/t", "-E", "occurrence=a", "-E", "aggregator=,"]
    if display_filter:
        args += ["-Y", display_filter]
    for n in names:
        args += ["-e", n]
    return [tuple(line.split("\t")) for line in tshark(path, *args).splitlines()]


# The packets tshark marks malformed or with an expert warning or error.
FLAGGED = '_ws.malformed || _ws.expert.severity >= "Warning"'


def flagged_numbers(path):
    """The frame numbers of the flagged packets."""
    return tshark(path, "-Y", FLAGGED, "-T", "fields", "-e", "frame.number").split()


def flagged(path):
    """The flagged packets, verbosely."""
    if not flagged_numbers(path):
        return ""
    return tshark(path, "-V", "-Y", FLAGGED)


def assert_clean(path, expect_frames=1):
    count = len(tshark(path, "-T", "fields", "-e", "frame.number").split())
    assert count >= expect_frames, f"expected at least {expect_frames} frames in {path}, got {count}"
    problems = flagged(path)
    assert not problems, f"tshark flags frames in {path}:\n{problems}"
    return count
