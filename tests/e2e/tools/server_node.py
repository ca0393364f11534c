"""Drives tests/e2e/tools/server_node (the local device with its object database and every
confirmed handler) inside a namespace: commands in, JSON events out."""

import os
import subprocess
import tempfile
import threading

from e2e.harness import programs
from e2e.tools.client_node import ClientNode


class ServerNode(ClientNode):
    def __init__(self, host, *connect, device=4711, files=(), read_only=(), objects=None):
        self.cwd = tempfile.mkdtemp(prefix=f"zor17-server-{host.name}-")
        self.stderr_path = os.path.join(self.cwd, "stderr.txt")
        args = [programs.program("server_node"), "--device", str(device)]
        for instance, path in files:
            args += ["--file", f"{instance}={path}"]
        for instance in read_only:
            args += ["--read-only", str(instance)]
        if objects:
            args += ["--objects", objects]
        args += list(connect)
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
