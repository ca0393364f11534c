"""Drives tests/e2e/tools/client_node (the client side of the stack with a Device object)
inside a namespace: commands in, JSON events out. Lines that are not JSON (the parked
requests' wait lines) are kept in order in `lines`."""

import json
import os
import subprocess
import tempfile
import threading
import time

from e2e.harness import programs


class ClientNode:
    program = "client_node"

    def __init__(self, host, *connect, device=4711, timeouts=None, trace=False):
        args = [programs.program(self.program), "--device", str(device)]
        if timeouts:
            args += ["--timeouts", ",".join(map(str, timeouts))]
        if trace:
            args.append("--trace")
        self._start(host, args + list(connect), "client")

    def _start(self, host, args, name):
        """Runs `args` in `host` in a work folder of its own, reads its output on a thread and
        waits for its ready event."""
        self.cwd = tempfile.mkdtemp(prefix=f"zor17-{name}-{host.name}-")
        self.stderr_path = os.path.join(self.cwd, "stderr.txt")
        self._stderr = open(self.stderr_path, "w")
        self.proc = host.popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self._stderr,
                               text=True, cwd=self.cwd)
        self.events = []
        self.lines = []
        self._taken = set()
        self._cond = threading.Condition()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        self.ready = self.wait("ready")

    def _read(self):
        for line in self.proc.stdout:
            line = line.strip()
            if not line:
                continue
            with self._cond:
                if line.startswith("{"):
                    self.events.append(json.loads(line))
                else:
                    self.lines.append(line)
                self._cond.notify_all()

    def command(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()

    def wait(self, event, timeout=10.0, **fields):
        """The first event of that kind with those fields that no earlier wait took."""
        end = time.monotonic() + timeout
        with self._cond:
            while True:
                for i, e in enumerate(self.events):
                    if i not in self._taken and e.get("event") == event and \
                            all(e.get(k) == v for k, v in fields.items()):
                        self._taken.add(i)
                        return e
                left = end - time.monotonic()
                if left <= 0:
                    with open(self.stderr_path) as err:
                        raise AssertionError(f"no {event} {fields} within {timeout}s; events {self.events}; "
                                             f"lines {self.lines}; stderr: {err.read()[-4000:]}")
                self._cond.wait(min(left, 0.2))

    def ask(self, line, event, timeout=10.0, **fields):
        self.command(line)
        return self.wait(event, timeout, **fields)

    def binding(self, device):
        return self.ask(f"binding {device}", "binding", device=device)

    def wait_lines(self, text):
        with self._cond:
            return [line for line in self.lines if text in line]

    def quit(self):
        if self.proc.poll() is None:
            self.command("quit")
            self.wait("stopped", timeout=30)
            self.proc.wait(timeout=10)
        self._reader.join(timeout=5)
        self.proc.stdin.close()
        self.proc.stdout.close()
        self._stderr.close()
        # The lock reports every nested or failed use on standard error.
        with open(self.stderr_path) as err:
            problems = [line for line in err if "Reentry" in line or "Failed to" in line]
        assert not problems, problems[:10]
