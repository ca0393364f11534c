"""An MS/TP master station written from the frame table, for the serial-line tests: it answers
polls and test requests, takes and passes the token (finding its successor by polling), and
while it holds the token sends what it was told to. It never claims a lost token itself.

    mstp_station.py --device PATH --ts N --max-master M

Commands on standard input, one a line:
    send <destination> <hex npdu> <1 expecting a reply | 0>
    test <destination> <hex data>           a Test_Request
    quit
Events on standard output, one JSON object a line: ready, token (with the count so far),
reply (the answer to our frame), data (data frames for us), broadcast (broadcast data frames),
invalid (damaged frames), stopped.
"""

import argparse
import json
import os
import select
import sys
import time
import tty

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
from e2e.harness import mstp  # noqa: E402

USAGE_TIMEOUT = 0.1
REPLY_TIMEOUT = 0.3
FRAME_ABORT = 0.1
HOLD = 0.005  # the time our token use takes on a real line; keeps the token from racing round


class Station:
    def __init__(self, device, ts, max_master):
        self.fd = os.open(device, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.fd)
        self.ts = ts
        self.max_master = max_master
        self.receiver = mstp.Receiver()
        self.last_octet = time.monotonic()
        self.pending = []
        self.next_station = None
        self.tokens = 0
        self.running = True
        self.stdin_buffer = ""

    def emit(self, **event):
        sys.stdout.write(json.dumps(event) + "\n")
        sys.stdout.flush()

    def write(self, frame_type, destination, data=b""):
        os.write(self.fd, mstp.frame(frame_type, destination, self.ts, data))

    def read_frames(self, timeout):
        """The frames that arrive within `timeout` (fewer when the first ones come sooner)."""
        ready, _, _ = select.select([self.fd], [], [], timeout)
        if not ready:
            if self.receiver.buffer and time.monotonic() - self.last_octet > FRAME_ABORT:
                self.receiver.abort()
            return []
        octets = os.read(self.fd, 4096)
        self.last_octet = time.monotonic()
        frames = self.receiver.feed(octets)
        for f in frames:
            if f is None or not f.valid:
                self.emit(event="invalid")
        return [f for f in frames if f is not None and f.valid]

    def wait_for(self, timeout, accept):
        """The first frame that `accept` takes within `timeout`; others go the normal way."""
        end = time.monotonic() + timeout
        while True:
            left = end - time.monotonic()
            if left <= 0:
                return None
            for f in self.read_frames(left):
                if accept(f):
                    return f
                self.handle(f)

    def handle(self, f):
        for_us = f.destination == self.ts
        if for_us and f.type == mstp.POLL_FOR_MASTER:
            self.write(mstp.REPLY_TO_POLL, f.source)
        elif for_us and f.type == mstp.TOKEN:
            self.tokens += 1
            self.emit(event="token", source=f.source, count=self.tokens)
            self.use_token()
        elif for_us and f.type == mstp.TEST_REQUEST:
            self.write(mstp.TEST_RESPONSE, f.source, f.data)
        elif for_us and f.type == mstp.DATA_EXPECTING_REPLY:
            self.emit(event="data", source=f.source, type=f.type, npdu=f.data.hex())
            self.write(mstp.REPLY_POSTPONED, f.source)
        elif f.type == mstp.DATA_NOT_EXPECTING_REPLY and for_us:
            self.emit(event="data", source=f.source, type=f.type, npdu=f.data.hex())
        elif f.type == mstp.DATA_NOT_EXPECTING_REPLY and f.destination == mstp.BROADCAST:
            self.emit(event="broadcast", source=f.source, npdu=f.data.hex())

    def use_token(self):
        if self.pending:
            frame_type, destination, data = self.pending.pop(0)
            self.write(frame_type, destination, data)
            if frame_type in (mstp.DATA_EXPECTING_REPLY, mstp.TEST_REQUEST):
                answer = self.wait_for(REPLY_TIMEOUT, lambda f: f.destination == self.ts)
                self.emit(event="reply", type=None if answer is None else answer.type,
                          source=None if answer is None else answer.source,
                          data="" if answer is None else answer.data.hex())
        time.sleep(HOLD)
        self.pass_token()

    def poll_for_successor(self, first):
        for step in range(self.max_master + 1):
            candidate = (first + step) % (self.max_master + 1)
            if candidate == self.ts:
                return None
            self.write(mstp.POLL_FOR_MASTER, candidate)
            if self.wait_for(USAGE_TIMEOUT, lambda f: f.destination == self.ts and f.type == mstp.REPLY_TO_POLL):
                return candidate
        return None

    def pass_token(self):
        for _ in range(3):
            if self.next_station is None:
                self.next_station = self.poll_for_successor(self.ts + 1)
                if self.next_station is None:
                    return
            for _ in range(2):  # once more when the successor stays silent
                self.write(mstp.TOKEN, self.next_station)
                ready, _, _ = select.select([self.fd], [], [], USAGE_TIMEOUT)
                if ready:
                    return
            self.next_station = None

    def command(self, line):
        words = line.split()
        if not words:
            return
        if words[0] == "quit":
            self.running = False
        elif words[0] == "send":
            expecting = words[3] == "1"
            self.pending.append((mstp.DATA_EXPECTING_REPLY if expecting else mstp.DATA_NOT_EXPECTING_REPLY,
                                 int(words[1]), bytes.fromhex(words[2])))
        elif words[0] == "test":
            self.pending.append((mstp.TEST_REQUEST, int(words[1]), bytes.fromhex(words[2])))

    def run(self):
        self.emit(event="ready")
        while self.running:
            ready, _, _ = select.select([self.fd, sys.stdin], [], [], 0.01)
            if sys.stdin in ready:
                text = os.read(sys.stdin.fileno(), 4096).decode()
                if not text:
                    break
                self.stdin_buffer += text
                while "\n" in self.stdin_buffer:
                    line, self.stdin_buffer = self.stdin_buffer.split("\n", 1)
                    self.command(line)
            if self.fd in ready:
                for f in self.read_frames(0):
                    self.handle(f)
            elif self.receiver.buffer and time.monotonic() - self.last_octet > FRAME_ABORT:
                self.receiver.abort()
        self.emit(event="stopped")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--device", required=True)
    parser.add_argument("--ts", type=int, required=True)
    parser.add_argument("--max-master", type=int, default=127)
    args = parser.parse_args()
    Station(args.device, args.ts, args.max_master).run()


if __name__ == "__main__":
    main()
