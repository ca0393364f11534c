"""Runs node scripts on @bacnet-js/client (tests/peers/) inside a namespace."""

import json
import os
import subprocess

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
