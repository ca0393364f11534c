"""ReadProperty throughput and latency of set-up devices' objects at a shared station: one
api_host (the whole stack with a BACnet/IP port on network 1 and an API port) per count of
set-up devices, each in its own namespace. Through the binary API each gets that many devices
set up on network 1 without a station of their own (command 301; instances 5000, 5001, ...)
and under the k-th of them analog-value k (command 308). From a further namespace
bench/readproperty_load.cpp then keeps 32 ReadProperty requests for an object name outstanding
against the station's address (the own device's): of the last set-up device's analog-value,
of the first one's, and of the own device's Device object as the reference. The stations are
measured in turn, round after round, so that every count meets the same load of the machine.
Prints every run, the medians over the rounds and the machine's load average.

Usage (root): ZOR17_BIN=build/default/bin /usr/bin/python3 bench/station_load_bench.py [rounds] [seconds] [counts]
counts is a comma-separated list of set-up device counts (1,100,500,2001 unless given).
BENCH_PREFIX="nice -n -15" starts the stacks and the load generator under that command.
Prints figures only; nothing here passes or fails on a time.
"""

import os
import re
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests"))
os.environ.setdefault("ZOR17_TESTS", os.path.join(HERE, "..", "tests"))
from e2e.harness import netlab, programs  # noqa: E402
from e2e.tools.api_client import ApiClient, string, u32  # noqa: E402
from e2e.tools.api_host import ApiHost, api_connect_string  # noqa: E402
from e2e.tools.peer import connect_string  # noqa: E402

OWN = 4711
FIRST_DEVICE = 5000
ANALOG_VALUE = 2
OBJECT_NAME = 77
OUTSTANDING = 32
COUNTS = (1, 100, 500, 2001)
# Requests sent ahead of their replies while setting up: the API queues at most 128 replies.
WINDOW = 64
PREFIX = os.environ.get("BENCH_PREFIX", "").split()
FIGURES = re.compile(r"rate=(\d+) p50_us=(\d+) p99_us=(\d+) lost=(\d+)")


class Station(ApiHost):
    """api_host as the API tests start it, under BENCH_PREFIX (in a work folder of its own, so
    a ZOR17_BIN relative to ours is made absolute)."""

    def __init__(self, host, ip):
        args = PREFIX + [os.path.abspath(programs.program(self.program)), "--device", str(OWN), connect_string(ip),
                         api_connect_string()]
        self._start(host, args, "station")


def pipelined(api, requests):
    """Sends (code, payload) requests with up to WINDOW of them unanswered; their replies in order."""
    sent, replies = [], []
    for code, payload in requests:
        sent.append(api.send(code, payload))
        if len(sent) - len(replies) >= WINDOW:
            replies.append(api.reply(sent[len(replies)], timeout=120))
    while len(replies) < len(sent):
        replies.append(api.reply(sent[len(replies)], timeout=120))
    return replies


def set_up(host, count):
    """Sets up `count` devices at the station, analog-value k under the k-th; the seconds it took."""
    api = ApiClient(host)
    try:
        start = time.monotonic()
        client = api.call(306).fields().u32()
        requests = []
        for k in range(1, count + 1):
            device = FIRST_DEVICE + k - 1
            requests.append((301, u32(1) + u32(device) + string("") * 7))
            requests.append((308, u32(device) + u32(ANALOG_VALUE) + u32(k) + string(f"av{k}") + u32(client)))
        for (code, _), reply in zip(requests, pipelined(api, requests)):
            fields = reply.fields()
            if code == 308:
                fields.u32()  # the handle
            if (reply.flag, reply.code, fields.i32()) != (0, code, 0):
                raise RuntimeError(f"set-up of {count} devices: {code} answered {reply}")
        return time.monotonic() - start
    finally:
        api.close()


def load(host, target, read, seconds, warmup_ms=300):
    """(requests/s, p50 us, p99 us, lost) of one run reading `read` (readproperty_load's arguments)."""
    done = host.run(PREFIX + [programs.program("readproperty_load"), "--target", target, "--outstanding",
                              str(OUTSTANDING), "--seconds", str(seconds), "--warmup-ms", str(warmup_ms),
                              "--property", str(OBJECT_NAME)] + read, timeout=seconds + 30)
    found = FIGURES.search(done.stdout)
    if not found:
        raise RuntimeError(done.stdout + done.stderr)
    return tuple(int(x) for x in found.groups())


def reads(count):
    """(kind, name, readproperty_load's arguments) of the objects read at a station of `count`
    set-up devices."""
    last = FIRST_DEVICE + count - 1
    return (("last", f"analog-value {count} of device {last} (last)", ["--object", f"{ANALOG_VALUE}:{count}"]),
            ("first", f"analog-value 1 of device {FIRST_DEVICE} (first)", ["--object", f"{ANALOG_VALUE}:1"]),
            ("own", f"Device object of the own device {OWN}", ["--device", str(OWN)]))


def line(figures):
    rate, p50, p99, lost = figures
    return f"{rate:7.0f} requests/s  p50 {p50:6.0f} us  p99 {p99:6.0f} us  lost {lost:3.0f}"


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 3
    counts = tuple(int(c) for c in sys.argv[3].split(",")) if len(sys.argv) > 3 else COUNTS
    load_before = os.getloadavg()[0]
    with netlab.Lab() as lab:
        client = lab.host("load")
        stations = {}
        try:
            for count in counts:
                host = lab.host(f"station{count}")
                ip, _ = lab.link(host, client)
                stations[count] = (Station(host, ip), ip)
                print(f"{count:5d} set-up devices: set up in {set_up(host, count):6.2f} s", flush=True)
            for count, (_, ip) in stations.items():
                for _, name, read in reads(count):
                    if not netlab.wait_for(lambda: load(client, ip, read, 0.2, 0)[0] > 0, timeout=20, step=0.2):
                        print(f"the station of {count} set-up devices does not answer for the {name}")
                        return 1
            figures = {(count, kind): [] for count in counts for kind, _, _ in reads(count)}
            for r in range(rounds):
                for count, (_, ip) in stations.items():
                    for kind, name, read in reads(count):
                        figures[count, kind].append(load(client, ip, read, seconds))
                        print(f"round {r + 1}, {count:5d} set-up devices, {name}: " +
                              line(figures[count, kind][-1]), flush=True)
        finally:
            for station, _ in stations.values():
                station.quit()
    print(f"ReadProperty of the object name at the station, {OUTSTANDING} outstanding, medians of {rounds} rounds "
          f"of {seconds:g} s (load average {load_before:.1f} before, {os.getloadavg()[0]:.1f} after):")
    medians = {key: [statistics.median(column) for column in zip(*runs)] for key, runs in figures.items()}
    for count in counts:
        for kind, name, _ in reads(count):
            share = medians[count, kind][0] / max(medians[counts[0], kind][0], 1)
            print(f"  {count:5d} set-up devices  {name:44s}  " + line(medians[count, kind]) +
                  f"  {share:5.2f} of the rate with {counts[0]}")
    return 0


if __name__ == "__main__":
    netlab.require_root()
    sys.exit(main())
