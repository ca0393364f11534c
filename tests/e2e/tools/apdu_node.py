"""Drives tests/e2e/tools/apdu_node (ports, network and application layer) inside a namespace:
commands in, JSON events out; plus the service data the tests send and expect back."""

import json
import os
import subprocess
import tempfile
import threading
import time

from e2e.harness import programs


def name_value(n):
    """The application-tagged CharacterString of n letters that the node's test server sends."""
    length = n + 1
    if length <= 4:
        head = bytes([0x70 | length])
    elif length <= 253:
        head = bytes([0x75, length])
    elif length <= 65535:
        head = bytes([0x75, 254]) + length.to_bytes(2, "big")
    else:
        head = bytes([0x75, 255]) + length.to_bytes(4, "big")
    return head + b"\x00" + bytes(ord("a") + i % 26 for i in range(n))


def letters(n):
    return "".join(chr(ord("a") + i % 26) for i in range(n))


DEVICE_1234 = bytes.fromhex("0c020004d2")


def read_property(prop=0x4D):
    return DEVICE_1234 + bytes([0x19, prop])


def read_property_ack(n):
    return read_property() + b"\x3e" + name_value(n) + b"\x3f"


def read_property_multiple():
    return DEVICE_1234 + bytes.fromhex("1e094d1f")


def read_property_multiple_ack(n):
    return DEVICE_1234 + bytes.fromhex("1e294d4e") + name_value(n) + bytes.fromhex("4f1f")


def write_property(n, prop=0x1C):
    return DEVICE_1234 + bytes([0x19, prop, 0x3E]) + name_value(n) + b"\x3f"


class Node:
    def __init__(self, host, *connect, trace=False, timeouts=None):
        self.cwd = tempfile.mkdtemp(prefix=f"zor17-node-{host.name}-")
        self.stderr_path = os.path.join(self.cwd, "stderr.txt")
        args = [programs.program("apdu_node")]
        if trace:
            args.append("--trace")
        if timeouts:
            args += ["--timeouts", ",".join(map(str, timeouts))]
        args += list(connect)
        self._stderr = open(self.stderr_path, "w")
        self.proc = host.popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self._stderr,
                               text=True, cwd=self.cwd)
        self.events = []
        self._taken = set()
        self._cond = threading.Condition()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        self.ready = self.wait("ready")

    def _read(self):
        for line in self.proc.stdout:
            line = line.strip()
            if line:
                with self._cond:
                    self.events.append(json.loads(line))
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
                                             f"stderr: {err.read()[-4000:]}")
                self._cond.wait(min(left, 0.2))

    def request(self, tag, network, mac, invoke_id, max_apdu_code, service, data):
        self.command(f"request {tag} {network} {mac} {invoke_id} {max_apdu_code} {service} {data.hex() or '-'}")
        queued = self.wait("queued", tag=tag)
        assert queued["result"] == 0, queued

    def answer(self, size):
        self.command(f"answer {size}")
        self.wait("answer", size=size)

    def quit(self):
        if self.proc.poll() is None:
            self.command("quit")
            self.wait("stopped")
            self.proc.wait(timeout=10)
        self._reader.join(timeout=5)
        self.proc.stdin.close()
        self.proc.stdout.close()
        self._stderr.close()
