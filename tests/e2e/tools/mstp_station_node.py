"""Drives tests/e2e/tools/mstp_station.py (an MS/TP master written in Python) inside a namespace:
commands in, JSON events out."""

import json
import os
import subprocess
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))


class MstpStation:
    def __init__(self, host, device, ts, max_master):
        self.proc = host.popen(["/usr/bin/python3", os.path.join(HERE, "mstp_station.py"), "--device", device,
                                "--ts", str(ts), "--max-master", str(max_master)],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.events = []
        self._cond = threading.Condition()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        self.wait(lambda e: e["event"] == "ready")

    def _read(self):
        for line in self.proc.stdout:
            if line.startswith("{"):
                with self._cond:
                    self.events.append(json.loads(line))
                    self._cond.notify_all()

    def command(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()

    def wait(self, accept, timeout=10.0, after=0):
        """The first event from index `after` on that `accept` takes."""
        end = time.monotonic() + timeout
        with self._cond:
            while True:
                for e in self.events[after:]:
                    if accept(e):
                        return e
                left = end - time.monotonic()
                if left <= 0:
                    raise AssertionError(f"no such event within {timeout}s; last events {self.events[-10:]}; "
                                         f"stderr {self.proc.stderr.read() if self.proc.poll() is not None else ''}")
                self._cond.wait(min(left, 0.2))

    def count(self, event):
        with self._cond:
            return sum(1 for e in self.events if e["event"] == event)

    def mark(self):
        with self._cond:
            return len(self.events)

    def quit(self):
        if self.proc.poll() is None:
            self.command("quit")
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self._reader.join(timeout=5)
        for stream in (self.proc.stdin, self.proc.stdout, self.proc.stderr):
            stream.close()
