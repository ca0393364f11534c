"""Test hosts in network namespaces, joined by veth pairs.

Every BACnet stack a test starts runs inside namespaces made here; nothing is ever sent
from the host's own namespace. A Lab refuses to run a command in a namespace that shows
any interface other than `lo` and the lab's own veths, and removes everything it made
when the test ends, also on failure.

    with Lab() as lab:
        a, b, c = lab.host("a"), lab.host("b"), lab.host("c")
        lab.link(a, b)                      # 10.111.<n>.1/24 and .2/24
        lab.lan(a, b, c)                    # one segment behind a bridge: .1, .2 and .3
        proc = a.popen(["ZOR17", job])
"""

import itertools
import os
import shutil
import subprocess
import sys
import time

SKIP = 77  # ctest's skip code for these tests


def require_root():
    """Ends the test as skipped when it cannot make namespaces."""
    if os.geteuid() != 0:
        print("SKIP: network namespaces need root; run the end-to-end tests as root")
        sys.exit(SKIP)
    if not shutil.which("ip"):
        print("SKIP: iproute2 ('ip') is not installed")
        sys.exit(SKIP)


def _run(args, **kw):
    return subprocess.run(args, check=True, capture_output=True, text=True, **kw)


class Host:
    """One namespace: a test host with loopback and the lab's veths."""

    def __init__(self, lab, name):
        self.lab = lab
        self.name = name
        self.netns = f"{lab.prefix}{name}"
        self.addresses = []  # (interface, address, prefix)
        _run(["ip", "netns", "add", self.netns])
        self.run(["ip", "link", "set", "lo", "up"], check_isolation=False)

    @property
    def ip(self):
        """The first address of this host."""
        return self.addresses[0][1]

    def _prefix(self, args):
        return ["ip", "netns", "exec", self.netns] + list(args)

    def check_isolation(self):
        out = _run(self._prefix(["ip", "-o", "link", "show"])).stdout
        for line in out.splitlines():
            ifname = line.split(":")[1].strip().split("@")[0]
            if ifname != "lo" and ifname not in self.lab.veths:
                raise RuntimeError(
                    f"namespace {self.netns} shows interface {ifname!r}, which this lab did not make; "
                    "refusing to start anything there")

    def run(self, args, check=True, check_isolation=True, **kw):
        if check_isolation:
            self.check_isolation()
        kw.setdefault("capture_output", True)
        kw.setdefault("text", True)
        return subprocess.run(self._prefix(args), check=check, **kw)

    def popen(self, args, **kw):
        self.check_isolation()
        proc = subprocess.Popen(self._prefix(args), **kw)
        self.lab.processes.append(proc)
        return proc


class Lab:
    _counter = itertools.count()

    def __init__(self):
        self.prefix = f"z17-{os.getpid()}-{next(self._counter)}-"
        self.hosts = []
        self.veths = set()
        self.processes = []
        self._subnet = 0

    def __enter__(self):
        require_root()
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def host(self, name):
        h = Host(self, name)
        self.hosts.append(h)
        return h

    def link(self, a, b, subnet=None, prefix_len=24):
        """Joins two hosts with a veth pair on 10.111.<subnet>.0/24; returns their addresses."""
        if subnet is None:
            self._subnet += 1
            subnet = self._subnet
        n = len(self.veths) // 2
        tag = f"{os.getpid() % 100000}{n}"
        va, vb = f"z17a{tag}", f"z17b{tag}"
        _run(["ip", "link", "add", va, "netns", a.netns, "type", "veth", "peer", "name", vb, "netns", b.netns])
        self.veths.update({va, vb})
        addr_a, addr_b = f"10.111.{subnet}.1", f"10.111.{subnet}.2"
        for host, ifname, addr in ((a, va, addr_a), (b, vb, addr_b)):
            host.run(["ip", "addr", "add", f"{addr}/{prefix_len}", "dev", ifname])
            host.run(["ip", "link", "set", ifname, "up"])
            host.addresses.append((ifname, addr, prefix_len))
        return addr_a, addr_b

    def lan(self, *hosts, prefix_len=24):
        """Joins the hosts on one segment, a bridge in a namespace of its own, on the next
        10.111.<subnet>.0/24; returns their addresses, .1 upwards in the order given."""
        self._subnet += 1
        switch = self.host(f"lan{self._subnet}")
        bridge = f"z17s{self._subnet}"
        self.veths.add(bridge)
        switch.run(["ip", "link", "add", bridge, "up", "type", "bridge"])
        for i, host in enumerate(hosts, 1):
            tag = f"{os.getpid() % 100000}{len(self.veths)}"
            va, vb = f"z17l{tag}", f"z17m{tag}"
            _run(["ip", "link", "add", va, "netns", host.netns, "type", "veth", "peer", "name", vb, "netns",
                  switch.netns])
            self.veths.update({va, vb})
            switch.run(["ip", "link", "set", vb, "master", bridge, "up"])
            addr = f"10.111.{self._subnet}.{i}"
            host.run(["ip", "addr", "add", f"{addr}/{prefix_len}", "dev", va])
            host.run(["ip", "link", "set", va, "up"])
            host.addresses.append((va, addr, prefix_len))
        return tuple(h.addresses[-1][1] for h in hosts)

    def route(self, host, network, via):
        host.run(["ip", "route", "add", network, "via", via])

    def enable_forwarding(self, host):
        host.run(["sysctl", "-qw", "net.ipv4.ip_forward=1"])

    def close(self):
        for proc in self.processes:
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(timeout=3)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        for h in self.hosts:
            subprocess.run(["ip", "netns", "delete", h.netns], capture_output=True)
        self.hosts.clear()


def wait_for(predicate, timeout=10.0, step=0.02):
    """Polls predicate until it is true or the time is up; returns its last value."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() > end:
            return value
        time.sleep(step)
