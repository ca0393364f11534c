"""Drives tests/e2e/tools/datalink_peer inside a namespace: commands in, JSON events out."""

import json
import os
import shutil
import subprocess
import tempfile
import threading
import time

from e2e.harness import netlab, programs


def bip_mac(ip, port=47808):
    """The six-octet B/IP address as the peer prints it."""
    return "".join(f"{int(o):02x}" for o in ip.split(".")) + f"{port:04x}"


def connect_string(ip, network=1, port=47808, **keys):
    text = f"TYPE=BACNETIP;NETWORK={network};IPADDRESS={ip};UDPPORT={port};"
    return text + "".join(f"{k}={v};" for k, v in keys.items())


def ethernet_connect_string(nic, network=1):
    return f"TYPE=BACNETETHERNET;NETWORK={network};NIC={nic};"


def nic_number(host, interface):
    """The NIC key under which the capture library of `host` lists `interface`, once the
    interface is up: the library lists running interfaces first, so the order changes while a
    link comes up."""
    operstate = ["cat", f"/sys/class/net/{interface}/operstate"]
    netlab.wait_for(lambda: host.run(operstate).stdout.strip() in ("up", "unknown"), timeout=10)  # lo: unknown
    out = host.run([programs.program("datalink_peer"), "--list-nics"]).stdout
    return json.loads(out)["names"].index(interface)


def interface_mac(host, interface):
    """The interface's hardware address as the peer prints MACs (hex without separators)."""
    return host.run(["cat", f"/sys/class/net/{interface}/address"]).stdout.strip().replace(":", "")


class Peer:
    def __init__(self, host, *connect, manual_clock=False, trace=False, cwd=None):
        self._own_cwd = cwd is None
        self.cwd = cwd or tempfile.mkdtemp(prefix=f"zor17-peer-{host.name}-")
        self.stderr_path = os.path.join(self.cwd, "stderr.txt")
        args = [programs.program("datalink_peer")]
        if manual_clock:
            args.append("--manual-clock")
        if trace:
            args.append("--trace")
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
            if not line:
                continue
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
                    if i in self._taken or e.get("event") != event:
                        continue
                    if all(e.get(k) == v for k, v in fields.items()):
                        self._taken.add(i)
                        return e
                left = end - time.monotonic()
                if left <= 0:
                    with open(self.stderr_path) as err:
                        raise AssertionError(f"no {event} {fields} within {timeout}s; events {self.events}; "
                                             f"stderr: {err.read()}")
                self._cond.wait(min(left, 0.2))

    def all(self, event, **fields):
        with self._cond:
            return [e for e in self.events
                    if e.get("event") == event and all(e.get(k) == v for k, v in fields.items())]

    def call(self, line, answer, timeout=30.0):
        self.command(line)
        return self.wait(answer, timeout)

    def status(self):
        return self.call("status", "status")["ports"]

    def dropped(self):
        """The dropped-frame count of every Ethernet port."""
        return [p["dropped"] for p in self.call("ethernet", "ethernet")["ports"]]

    def quit(self):
        if self.proc.poll() is None:
            self.command("quit")
            self.wait("stopped")
            self.proc.wait(timeout=10)
        self._reader.join(timeout=5)
        self.proc.stdin.close()
        self.proc.stdout.close()
        self._stderr.close()
        if self._own_cwd and self.proc.returncode == 0:
            shutil.rmtree(self.cwd, ignore_errors=True)
