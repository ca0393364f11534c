"""Setting up devices and putting objects under them through the binary API, each api_host (the
whole stack with a BACnet/IP port on network 1 and an API port) in a namespace of its own.

Set-up: two stations side by side, one given 500 and one 4 000 devices set up on network 1
without a station of their own (command 301; instances 5000, 5001, ...), each device followed
by its one object, analog-value k under the k-th (command 308), as an integrator sets a plant up.
Prints the seconds each took and the ratio of the two (8 where the time grows with the count).

Puts: pipelined 308s of analog-values, on one station under the own device with no device set
up, on another under a device set up there first (whose puts wait for the stack thread's
verdict). Prints puts per second and the ratio of the two rates.

Every round starts fresh stations, the two of each pair one after the other, so that both meet
the same load of the machine; the requests go out 64 ahead of their replies.

The puts are then measured under every placement of bench/placement.py (the stations and this
script, which sends the puts, pinned to two processors, with and without busy loops beside them,
the station alone on one, unpinned), with BENCH_BASE_BIN an earlier build's stations in turn
with ours. BENCH_PUTS_ONLY=1 leaves the set-up timing out.

Usage (root): ZOR17_BIN=build/default/bin /usr/bin/python3 bench/station_setup_bench.py [rounds] [counts] [puts]
counts is the pair of set-up counts (500,4000 unless given), puts the number of puts (5000).
BENCH_PREFIX="nice -n -15" starts the stacks under that command.
Prints figures only; nothing here passes or fails on a time.
"""

import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests"))
os.environ.setdefault("ZOR17_TESTS", os.path.join(HERE, "..", "tests"))
from e2e.harness import netlab  # noqa: E402
from e2e.tools.api_client import EVENT_CODES, Message, socket_in_namespace, string, u32  # noqa: E402
from e2e.harness import programs  # noqa: E402
from e2e.tools.api_host import ApiHost, api_connect_string  # noqa: E402
from e2e.tools.peer import connect_string  # noqa: E402
from station_load_bench import FIRST_DEVICE, OWN, PREFIX, WINDOW, Station  # noqa: E402
import placement  # noqa: E402

ANALOG_VALUE = 2
COUNTS = (500, 4000)
PUTS = 5000


class Pipe:
    """One API connection, driven from a single thread that writes requests in batches and reads
    replies in bulk: the test client's reader thread costs more per reply than the stack does."""

    def __init__(self, host):
        host.check_isolation()
        self.sock = socket_in_namespace(host.netns)
        self.sock.settimeout(120)
        self.received = bytearray()
        self.next_id = 1000

    def close(self):
        self.sock.close()

    def frame(self, code, payload):
        self.next_id += 1
        body = bytes([0, 0, 0]) + u32(self.next_id) + u32(code) + payload
        return b"%08d" % len(body) + body

    def replies(self):
        """The replies complete in what has come so far (events left out)."""
        data = self.sock.recv(1 << 16)
        if not data:
            raise EOFError("the API port closed the connection")
        self.received += data
        out, at = [], 0
        while len(self.received) - at >= 8:
            length = int(self.received[at:at + 8])
            if len(self.received) - at - 8 < length:
                break
            message = Message(bytes(self.received[at + 8:at + 8 + length]))
            at += 8 + length
            if not (message.flag == 255 and message.id == 0 and message.code in EVENT_CODES):
                out.append(message)
        del self.received[:at]
        return out

    def exchange(self, requests):
        """Sends (code, payload) requests with up to WINDOW of them unanswered; their replies in order."""
        answered, sent = [], 0
        while len(answered) < len(requests):
            if sent < len(requests) and sent - len(answered) < WINDOW:
                batch = requests[sent:len(answered) + WINDOW]
                self.sock.sendall(b"".join(self.frame(code, payload) for code, payload in batch))
                sent += len(batch)
            answered += self.replies()
        return answered


def checked(requests, replies, what):
    for (code, _), reply in zip(requests, replies):
        fields = reply.fields()
        if code == 308:
            fields.u32()  # the handle
        if (reply.flag, reply.code, fields.i32()) != (0, code, 0):
            raise RuntimeError(f"{what}: {code} answered {reply}")


def timed(host, requests_of, what):
    """Registers an API client (306) and sends the requests `requests_of` (client id) makes;
    the seconds from the 306 to the last reply."""
    pipe = Pipe(host)
    try:
        start = time.monotonic()
        client = pipe.exchange([(306, b"")])[0].fields().u32()
        requests = requests_of(client)
        checked(requests, pipe.exchange(requests), what)
        return time.monotonic() - start
    finally:
        pipe.close()


def set_up(host, count):
    """301 of device k, then 308 of its analog-value k, for k up to `count`: the seconds."""
    def requests(client):
        for k in range(1, count + 1):
            device = FIRST_DEVICE + k - 1
            yield 301, u32(1) + u32(device) + string("") * 7
            yield 308, u32(device) + u32(ANALOG_VALUE) + u32(k) + string(f"av{k}") + u32(client)
    return timed(host, lambda client: list(requests(client)), f"set-up of {count} devices")


def puts(host, device, count):
    """`count` 308s of analog-values 1.. under `device`: puts per second (the 306 counted in)."""
    def requests(client):
        return [(308, u32(device) + u32(ANALOG_VALUE) + u32(k) + string(f"av{k}") + u32(client))
                for k in range(1, count + 1)]
    return count / timed(host, requests, f"{count} puts under {device}")


def one_device(host):
    pipe = Pipe(host)
    try:
        requests = [(301, u32(1) + u32(FIRST_DEVICE) + string("") * 7)]
        checked(requests, pipe.exchange(requests), "the set-up of one device")
    finally:
        pipe.close()


class PlacedStation(ApiHost):
    """api_host of the programs in `bin_dir`, started under `where` (a taskset or nothing)."""

    def __init__(self, host, ip, bin_dir, where):
        args = PREFIX + where + [os.path.abspath(os.path.join(bin_dir, self.program)), "--device", str(OWN),
                                 connect_string(ip), api_connect_string()]
        self._start(host, args, "station")


def placed_puts(hosts, rounds, put_count):
    """{placement: {side: {"own": [rates], "set-up": [rates]}}} of our build and the earlier one."""
    sides = {"ZOR17": programs.BIN}
    if placement.base_bin():
        sides["earlier"] = placement.base_bin()
    results = {}
    for name in placement.chosen():
        where = placement.prefix(name, "stack")
        rates = results[name] = {side: {"own": [], "set-up": []} for side in sides}
        with placement.busy(name), placement.this_process(name, "load"):
            for r in range(rounds):
                for side, bin_dir in sides.items():
                    for kind, host_name in (("own", "own"), ("set-up", "setupput")):
                        host, ip = hosts[host_name]
                        station = PlacedStation(host, ip, bin_dir, where)
                        try:
                            if kind == "set-up":
                                one_device(host)
                            rates[side][kind].append(puts(host, OWN if kind == "own" else FIRST_DEVICE, put_count))
                        finally:
                            station.quit()
                    own, set_up_rate = rates[side]["own"][-1], rates[side]["set-up"][-1]
                    print(f"{name}, round {r + 1}, {side}: {put_count} puts: own device {own:7.0f}/s, "
                          f"under a set-up device {set_up_rate:7.0f}/s", flush=True)
    return results


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    counts = tuple(int(c) for c in sys.argv[2].split(",")) if len(sys.argv) > 2 else COUNTS
    put_count = int(sys.argv[3]) if len(sys.argv) > 3 else PUTS
    load_before = os.getloadavg()[0]
    setups = {count: [] for count in counts}
    rates = {"own": [], "set-up": []}
    with netlab.Lab() as lab:
        peer = lab.host("peer")
        hosts = {}
        for name in [f"setup{c}" for c in counts] + ["own", "setupput"]:
            host = lab.host(name)
            ip, _ = lab.link(host, peer)
            hosts[name] = (host, ip)

        def fresh(name):
            host, ip = hosts[name]
            return host, Station(host, ip)

        for r in range(0 if os.environ.get("BENCH_PUTS_ONLY") else rounds):
            for count in counts:
                host, station = fresh(f"setup{count}")
                try:
                    setups[count].append(set_up(host, count))
                finally:
                    station.quit()
                print(f"round {r + 1}: {count:5d} devices set up with one object each in {setups[count][-1]:6.2f} s",
                      flush=True)
            host, station = fresh("own")
            try:
                rates["own"].append(puts(host, OWN, put_count))
            finally:
                station.quit()
            host, station = fresh("setupput")
            try:
                one_device(host)
                rates["set-up"].append(puts(host, FIRST_DEVICE, put_count))
            finally:
                station.quit()
            print(f"round {r + 1}: {put_count} puts: own device without set-up devices {rates['own'][-1]:7.0f}/s, "
                  f"under a set-up device {rates['set-up'][-1]:7.0f}/s", flush=True)
        placed = placed_puts(hosts, rounds, put_count)
    load_after = os.getloadavg()[0]
    print(f"medians of {rounds} rounds (load average {load_before:.1f} before, {load_after:.1f} after):")
    for name, sides in placed.items():
        for side, rates_of in sides.items():
            own, set_up_rate = statistics.median(rates_of["own"]), statistics.median(rates_of["set-up"])
            print(f"  {name:9s} {side:8s} {put_count} pipelined puts: own device {own:7.0f}/s, "
                  f"under a set-up device {set_up_rate:7.0f}/s, {set_up_rate / own:4.2f} of the own device's rate")
    if not rates["own"]:
        return 0
    low, high = counts[0], counts[-1]
    median = {count: statistics.median(times) for count, times in setups.items()}
    for count in counts:
        print(f"  set-up of {count:5d} devices with one object each: {median[count]:6.2f} s")
    print(f"  {high} against {low}: {median[high] / median[low]:5.1f} times as long "
          f"({high / low:g} where the time grows with the count)")
    own, set_up_rate = statistics.median(rates["own"]), statistics.median(rates["set-up"])
    print(f"  {put_count} pipelined puts: own device without set-up devices {own:7.0f}/s, "
          f"under a set-up device {set_up_rate:7.0f}/s, {set_up_rate / own:4.2f} of the own device's rate")
    return 0


if __name__ == "__main__":
    netlab.require_root()
    sys.exit(main())
