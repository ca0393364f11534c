"""Drives tests/e2e/tools/server_node (the local device with its object database and every
confirmed handler) inside a namespace: commands in, JSON events out."""

import json

from e2e.harness import capture, netlab, node_peer, programs
from e2e.tools.client_node import ClientNode
from e2e.tools.peer import connect_string


class ServerNode(ClientNode):
    def __init__(self, host, *connect, device=4711, files=(), read_only=(), objects=None, wrapper=()):
        args = [*wrapper, programs.program("server_node"), "--device", str(device)]
        for instance, path in files:
            args += ["--file", f"{instance}={path}"]
        for instance in read_only:
            args += ["--read-only", str(instance)]
        if objects:
            args += ["--objects", objects]
        self._start(host, args + list(connect), "server")


class ServerLab:
    """A lab of two hosts: the server node on a, a peer of server_calls.js on b, a capture on a's
    side."""

    def __init__(self, test, name, device=4711, files=(), read_only=()):
        self.test = test
        self.lab = netlab.Lab()
        self.lab.__enter__()
        a, self.b = self.lab.host("a"), self.lab.host("b")
        self.ip_a, self.ip_b = self.lab.link(a, self.b)
        self.cap = capture.Capture(a, a.addresses[0][0], "udp port 47808", name=name)
        self.node = ServerNode(a, connect_string(self.ip_a), device=device, files=files, read_only=read_only)
        self.notes = []

    def calls(self, *calls, timeout=3000):
        """Runs the calls from the peer, one after the other; their outcomes in order. The
        notifications the peer got meanwhile are in `notes`."""
        request = {"interface": self.ip_b, "address": self.ip_a, "timeout": timeout, "calls": list(calls)}
        proc = node_peer.start(self.b, "server_calls.js", json.dumps(request))
        out, _ = proc.communicate(timeout=60 + len(calls) * timeout / 1000)
        lines = [json.loads(line) for line in out.splitlines() if line.startswith("{")]
        self.notes = [json.loads(line[2:]) for line in out.splitlines() if line.startswith("N ")]
        self.test.assertEqual(len(lines), len(calls), out)
        return lines

    def close(self):
        """Ends the node and the lab; the capture's path."""
        try:
            self.node.quit()
        finally:
            path = self.cap.stop()
            self.lab.__exit__(None, None, None)
        return path

    def answers(self, path, *names):
        """The fields of every answer we sent, after checking that tshark flags none of the frames."""
        capture.assert_clean(path, expect_frames=2)
        return capture.fields(path, "bacapp.type", "bacapp.confirmed_service", *names,
                              display_filter=f"ip.src == {self.ip_a} && bacapp.type >= 2")
