"""A client program of the TCP API, written from the frame layout alone:

    frame    8 ASCII digits (payload length), then the payload
    message  0, flag (0 request/reply, 255 error reply/event), 0, request id (u32), code (u32),
             then the command's fields: u32 big-endian, u8, blob/string = u32 length + octets

plus the few BACnet encodings the commands carry (a DeviceObjectPropertyReference, a value
enclosed in context tag 0, an error's class and code). The socket is made inside a test
namespace, so the server's listener never needs to be reachable from the host.
"""

import ctypes
import os
import socket
import struct
import threading
import time

CLONE_NEWNET = 0x40000000
EVENT_CODES = range(701, 707)


# ---- Fields ---------------------------------------------------------------------------------

def u8(v):
    return struct.pack(">B", v)


def u32(v):
    return struct.pack(">I", v & 0xFFFFFFFF)


def blob(b):
    return u32(len(b)) + bytes(b)


def string(text):
    return blob(text.encode())


class Fields:
    """Reads a reply's fields in order."""

    def __init__(self, data):
        self.data = bytes(data)
        self.pos = 0

    def take(self, n):
        if self.pos + n > len(self.data):
            raise ValueError(f"payload ends at {len(self.data)}, wanted {self.pos + n}")
        part = self.data[self.pos:self.pos + n]
        self.pos += n
        return part

    def u8(self):
        return self.take(1)[0]

    def u32(self):
        return struct.unpack(">I", self.take(4))[0]

    def i32(self):
        return struct.unpack(">i", self.take(4))[0]

    def blob(self):
        return self.take(self.u32())

    def string(self):
        return self.blob().decode()

    def done(self):
        return self.pos == len(self.data)


# ---- BACnet encodings -----------------------------------------------------------------------

def _unsigned_octets(v):
    n = 1
    while v >> (8 * n):
        n += 1
    return v.to_bytes(n, "big")


def _context(tag, content):
    return bytes([(tag << 4) | 0x08 | len(content)]) + content


def object_id(object_type, instance):
    return ((object_type << 22) | instance).to_bytes(4, "big")


def reference(device, object_type, instance, prop):
    """DeviceObjectPropertyReference: [0] object, [1] property, [3] device."""
    return (_context(0, object_id(object_type, instance)) + _context(1, _unsigned_octets(prop)) +
            _context(3, object_id(8, device)))


def real(v):
    return bytes([0x44]) + struct.pack(">f", v)


def in_tag0(application_value):
    """A value as commands and events carry it: opening tag 0, the value, closing tag 0."""
    return bytes([0x0E]) + application_value + bytes([0x0F])


def read_app(data, pos=0):
    """One application-tagged value: (python value, next position)."""
    first = data[pos]
    tag, length = first >> 4, first & 0x07
    pos += 1
    if first & 0x08:
        raise ValueError(f"context tag {tag} where an application tag was expected")
    if length == 5:
        length = data[pos]
        pos += 1
    content = data[pos:pos + length]
    pos += length
    if tag in (2, 9):
        return int.from_bytes(content, "big"), pos
    if tag == 4:
        return struct.unpack(">f", content)[0], pos
    if tag == 12:
        v = int.from_bytes(content, "big")
        return (v >> 22, v & 0x3FFFFF), pos
    return content, pos


def read_tag0_value(data, pos=0):
    """A value enclosed in context tag 0: (python value, next position)."""
    if data[pos] != 0x0E:
        raise ValueError(f"no opening tag 0 at {pos}: {data.hex()}")
    value, pos = read_app(data, pos + 1)
    if data[pos] != 0x0F:
        raise ValueError(f"no closing tag 0 at {pos}: {data.hex()}")
    return value, pos + 1


# ---- The connection -------------------------------------------------------------------------

def socket_in_namespace(netns, address="127.0.0.1", port=5003, timeout=5.0):
    """A TCP connection made from inside the network namespace `netns`."""
    made = {}

    def work():
        try:
            libc = ctypes.CDLL(None, use_errno=True)
            fd = os.open(f"/var/run/netns/{netns}", os.O_RDONLY)
            try:
                if libc.setns(fd, CLONE_NEWNET) != 0:
                    raise OSError(ctypes.get_errno(), "setns")
            finally:
                os.close(fd)
            made["socket"] = socket.create_connection((address, port), timeout=timeout)
        except Exception as error:  # handed to the caller's thread
            made["error"] = error

    thread = threading.Thread(target=work)
    thread.start()
    thread.join()
    if "error" in made:
        raise made["error"]
    return made["socket"]


class Message:
    def __init__(self, payload):
        if len(payload) < 11 or payload[0] != 0:
            raise ValueError(f"not a binary message: {payload.hex()}")
        self.flag = payload[1]
        self.id, self.code = struct.unpack(">II", payload[3:11])
        self.payload = payload[11:]

    def fields(self):
        return Fields(self.payload)

    def __repr__(self):
        return f"Message(flag={self.flag}, id={self.id}, code={self.code}, payload={self.payload.hex()})"


class ApiClient:
    """Requests out, replies matched by request id, events collected on a reader thread."""

    def __init__(self, host, port=5003, address="127.0.0.1"):
        host.check_isolation()
        self.sock = socket_in_namespace(host.netns, address, port)
        self.sock.settimeout(None)
        self._next_id = 1000
        self._cond = threading.Condition()
        self.replies = {}
        self.events = []
        self.texts = []  # answers to text commands (payloads not beginning with octet 0)
        self.closed = False
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read_exactly(self, n):
        data = b""
        while len(data) < n:
            part = self.sock.recv(n - len(data))
            if not part:
                raise EOFError
            data += part
        return data

    def _read(self):
        try:
            while True:
                length = int(self._read_exactly(8))
                payload = self._read_exactly(length)
                with self._cond:
                    if payload[:1] != b"\0":
                        self.texts.append(payload.decode("latin-1"))
                        self._cond.notify_all()
                        continue
                    message = Message(payload)
                    if message.flag == 255 and message.id == 0 and message.code in EVENT_CODES:
                        self.events.append(message)
                    else:
                        self.replies.setdefault(message.id, []).append(message)
                    self._cond.notify_all()
        except (EOFError, OSError, ValueError):
            with self._cond:
                self.closed = True
                self._cond.notify_all()

    def send_raw(self, data):
        self.sock.sendall(data)

    def send_payload(self, payload):
        self.send_raw(b"%08d" % len(payload) + payload)

    def send(self, code, payload=b"", request_id=None):
        if request_id is None:
            self._next_id += 1
            request_id = self._next_id
        self.send_payload(bytes([0, 0, 0]) + u32(request_id) + u32(code) + payload)
        return request_id

    def reply(self, request_id, timeout=10.0):
        end = time.monotonic() + timeout
        with self._cond:
            while not self.replies.get(request_id):
                left = end - time.monotonic()
                if left <= 0 or self.closed:
                    raise AssertionError(f"no reply to request {request_id} (closed: {self.closed})")
                self._cond.wait(min(left, 0.2))
            return self.replies[request_id].pop(0)

    def call(self, code, payload=b"", timeout=10.0):
        """Sends a request and returns its one reply (or error reply)."""
        return self.reply(self.send(code, payload), timeout)

    def pipelined(self, requests, window=64, timeout=120):
        """Sends (code, payload) requests with up to `window` of them unanswered (the API queues
        at most 128 replies); their replies in order."""
        sent, replies = [], []
        for code, payload in requests:
            sent.append(self.send(code, payload))
            if len(sent) - len(replies) >= window:
                replies.append(self.reply(sent[len(replies)], timeout))
        while len(replies) < len(sent):
            replies.append(self.reply(sent[len(replies)], timeout))
        return replies

    def wait_event(self, code, timeout=10.0, match=lambda m: True):
        """The first event of that code that `match` accepts; it is taken from the list."""
        end = time.monotonic() + timeout
        with self._cond:
            while True:
                for i, m in enumerate(self.events):
                    if m.code == code and match(m):
                        return self.events.pop(i)
                left = end - time.monotonic()
                if left <= 0:
                    raise AssertionError(f"no event {code} within {timeout}s; events: {self.events}")
                self._cond.wait(min(left, 0.2))

    def wait_closed(self, timeout=10.0):
        end = time.monotonic() + timeout
        with self._cond:
            while not self.closed and time.monotonic() < end:
                self._cond.wait(0.2)
            return self.closed

    def text(self, command, timeout=10.0):
        """Sends a text command and returns its answer text."""
        self.send_payload(command.encode("latin-1"))
        return self.text_answer(timeout, command)

    def text_answer(self, timeout=10.0, command=None):
        """The next answer to a text command sent before."""
        end = time.monotonic() + timeout
        with self._cond:
            while not self.texts:
                left = end - time.monotonic()
                if left <= 0 or self.closed:
                    raise AssertionError(f"no answer to {command!r} (closed: {self.closed})")
                self._cond.wait(min(left, 0.2))
            return self.texts.pop(0)

    def close(self):
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.sock.close()
        self._reader.join(timeout=5)
