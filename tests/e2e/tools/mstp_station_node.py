"""Drives tests/e2e/tools/mstp_station.py (an MS/TP master written in Python) inside a namespace,
like the stack's nodes: commands in, JSON events out."""

import os

from e2e.tools.client_node import ClientNode

HERE = os.path.dirname(os.path.abspath(__file__))


class MstpStation(ClientNode):
    def __init__(self, host, device, ts, max_master):
        self._start(host, ["/usr/bin/python3", os.path.join(HERE, "mstp_station.py"), "--device", device,
                           "--ts", str(ts), "--max-master", str(max_master)], "station")

    def count(self, event):
        with self._cond:
            return sum(1 for e in self.events if e["event"] == event)
