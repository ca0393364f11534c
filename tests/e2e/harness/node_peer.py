"""Runs node scripts on @bacnet-js/client (tests/peers/) inside a namespace."""

import json
import os
import subprocess
import threading
import time

TESTS = os.environ.get("ZOR17_TESTS", os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
PEERS = os.path.join(TESTS, "peers")


def script(name):
    return os.path.join(PEERS, name)


def start(host, name, *args, **kw):
    """Starts tests/peers/<name> with node in host; its stdout is a pipe of JSON lines."""
    env = dict(os.environ, NODE_PATH=os.path.join(TESTS, "node_modules"))
    kw.setdefault("stdout", subprocess.PIPE)
    kw.setdefault("text", True)
    return host.popen(["node", script(name), *map(str, args)], env=env, cwd=TESTS, **kw)


def read_json_line(proc, timeout=10):
    import select
    ready, _, _ = select.select([proc.stdout], [], [], timeout)
    if not ready:
        raise TimeoutError("the node peer said nothing")
    line = proc.stdout.readline()
    return json.loads(line) if line else None


def start_ready(host, name, options, timeout=15, **kw):
    """Starts a peer that takes its options as one JSON argument and waits for its ready line."""
    proc = start(host, name, json.dumps(options), **kw)
    first = read_json_line(proc, timeout=timeout)
    assert first == {"ready": True}, first
    return proc


class PeerLines:
    """Collects the JSON lines a running peer prints, on a thread of its own; commands go to its
    standard input as JSON lines."""

    what = "peer"  # who printed them, for the message of a wait that runs out

    def __init__(self, proc):
        self.proc = proc
        self.lines = []
        self._cond = threading.Condition()
        self._thread = threading.Thread(target=self._read, daemon=True)
        self._thread.start()

    def _read(self):
        for line in self.proc.stdout:
            line = line.strip()
            if line.startswith("{"):
                with self._cond:
                    self.lines.append(json.loads(line))
                    self._cond.notify_all()

    def command(self, **command):
        self.proc.stdin.write(json.dumps(command) + "\n")
        self.proc.stdin.flush()

    def wait(self, key, timeout=10.0, **fields):
        """The first line with that key whose fields (those of the key's object, when it has one)
        match."""
        end = time.monotonic() + timeout
        with self._cond:
            while True:
                for line in self.lines:
                    inner = line.get(key)
                    inner = inner if isinstance(inner, dict) else line
                    if key in line and all(inner.get(k) == v for k, v in fields.items()):
                        return line
                left = end - time.monotonic()
                if left <= 0:
                    raise AssertionError(f"the {self.what} printed no {key} {fields}: {self.lines}")
                self._cond.wait(min(left, 0.2))

    def seen(self, key):
        with self._cond:
            return [line[key] for line in self.lines if key in line]

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
        self.proc.wait(timeout=10)
        self._thread.join(timeout=5)
        for pipe in (self.proc.stdin, self.proc.stdout):
            if pipe:
                pipe.close()
