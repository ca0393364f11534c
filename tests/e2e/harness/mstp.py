"""MS/TP frames for the serial-line tests, from the frame table: the two CRCs, building frames,
cutting a recorded octet stream back into frames, and the pcap file (link type 165) that
tshark dissects."""

import os
import struct

from . import capture

TOKEN, POLL_FOR_MASTER, REPLY_TO_POLL, TEST_REQUEST, TEST_RESPONSE = 0, 1, 2, 3, 4
DATA_EXPECTING_REPLY, DATA_NOT_EXPECTING_REPLY, REPLY_POSTPONED = 5, 6, 7
BROADCAST = 255
LINKTYPE_MSTP = 165


def header_crc(octets):
    crc = 0xFF
    for octet in octets:
        t = crc ^ octet
        t = t ^ (t << 1) ^ (t << 2) ^ (t << 3) ^ (t << 4) ^ (t << 5) ^ (t << 6) ^ (t << 7)
        crc = (t & 0xFE) ^ ((t >> 8) & 1)
    return ~crc & 0xFF


def data_crc(octets):
    crc = 0xFFFF
    for octet in octets:
        low = (crc & 0xFF) ^ octet
        low = (low ^ (low << 4)) & 0xFF
        crc = ((crc >> 8) ^ (low << 8) ^ (low << 3) ^ (low >> 4)) & 0xFFFF
    return ~crc & 0xFFFF


def frame(frame_type, destination, source, data=b""):
    header = bytes([frame_type, destination, source, len(data) >> 8, len(data) & 0xFF])
    out = b"\x55\xff" + header + bytes([header_crc(header)])
    if data:
        crc = data_crc(data)
        out += bytes(data) + bytes([crc & 0xFF, crc >> 8])
    return out


class Frame:
    def __init__(self, octets):
        self.octets = bytes(octets)
        self.type, self.destination, self.source = octets[2], octets[3], octets[4]
        length = octets[5] << 8 | octets[6]
        self.data = bytes(octets[8:8 + length])
        self.valid = header_crc(octets[2:7]) == octets[7] and (
            length == 0 or data_crc(self.data) == octets[8 + length] | octets[9 + length] << 8)

    def __repr__(self):
        return f"Frame({self.type} {self.source}>{self.destination} {self.data.hex()})"


class Receiver:
    """Octets in, frames out; a frame cut short is dropped when `abort` is called."""

    def __init__(self):
        self.buffer = bytearray()

    def feed(self, octets):
        self.buffer += octets
        frames = []
        while True:
            start = self.buffer.find(b"\x55\xff")
            if start < 0:
                del self.buffer[:max(0, len(self.buffer) - 1)]
                return frames
            del self.buffer[:start]
            if len(self.buffer) < 8:
                return frames
            if header_crc(self.buffer[2:7]) != self.buffer[7]:
                frames.append(None)  # a damaged header
                del self.buffer[:2]
                continue
            length = self.buffer[5] << 8 | self.buffer[6]
            size = 8 + (length + 2 if length else 0)
            if len(self.buffer) < size:
                return frames
            frames.append(Frame(self.buffer[:size]))
            del self.buffer[:size]

    def abort(self):
        self.buffer.clear()


def split(stream):
    """The whole frames of one station's recorded output."""
    return [f for f in Receiver().feed(stream) if f is not None]


def write_pcap(path, frames):
    with open(path, "wb") as out:
        out.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, LINKTYPE_MSTP))
        for i, f in enumerate(frames):
            out.write(struct.pack("<IIII", 1700000000 + i // 1000, (i % 1000) * 1000, len(f.octets), len(f.octets)))
            out.write(f.octets)


def dissect(frames, name, directory):
    """Writes the frames to a pcap file and has tshark dissect it: (rows of frame type, source,
    destination, CRC states, confirmed service, unconfirmed service; flagged packets)."""
    path = os.path.join(directory, f"{name}.pcap")
    write_pcap(path, frames)
    rows = capture.fields(path, "mstp.frame_type", "mstp.src", "mstp.dst", "mstp.checksum.status",
                          "bacapp.confirmed_service", "bacapp.unconfirmed_service")
    return [list(row) for row in rows], capture.flagged_numbers(path)


def read_property_npdu(invoke_id, device, property_id):
    """A confirmed ReadProperty of the Device object `device`, in an NPDU that expects a reply."""
    object_id = (8 << 22) | device
    apdu = bytes([0x00, 0x05, invoke_id, 0x0C, 0x0C]) + struct.pack(">I", object_id) + bytes([0x19, property_id])
    return b"\x01\x04" + apdu
