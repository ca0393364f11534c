"""Drives tests/e2e/tools/mstp_station.py (an MS/TP master written in Python) inside a namespace,
like the stack's nodes: commands in, JSON events out."""

import os
import subprocess
import tempfile
import threading

from e2e.tools.client_node import ClientNode

HERE = os.path.dirname(os.path.abspath(__file__))


class MstpStation(ClientNode):
    def __init__(self, host, device, ts, max_master):
        self.cwd = tempfile.mkdtemp(prefix=f"zor17-station-{host.name}-")
        self.stderr_path = os.path.join(self.cwd, "stderr.txt")
        self._stderr = open(self.stderr_path, "w")
        self.proc = host.popen(["/usr/bin/python3", os.path.join(HERE, "mstp_station.py"), "--device", device,
                                "--ts", str(ts), "--max-master", str(max_master)],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self._stderr, text=True)
        self.events = []
        self.lines = []
        self._taken = set()
        self._cond = threading.Condition()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        self.ready = self.wait("ready")

    def count(self, event):
        with self._cond:
            return sum(1 for e in self.events if e["event"] == event)
