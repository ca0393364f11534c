"""Point-to-point frames for the serial-line tests: a recorded octet stream cut back into frames
(escapes undone, CRCs checked with the MS/TP ones of harness/mstp.py), and the data frames'
NPDUs re-wrapped as MS/TP frames, since tshark has no dissector for point-to-point."""

from . import mstp

HEARTBEAT_XON, DATA_0, DATA_1, DATA_ACK_0_XON, DATA_ACK_1_XON = 1, 2, 3, 6, 7
CONNECT_REQUEST, CONNECT_RESPONSE, DISCONNECT_REQUEST, DISCONNECT_RESPONSE = 12, 13, 14, 15
TRIGGER = b"BACnet\r\x00"


def _unescape(stream, at, count):
    """`count` octets from `at` on, flow-control octets dropped and escapes undone, and the index
    after them (fewer at the end of the stream)."""
    out, escaped = bytearray(), False
    while len(out) < count and at < len(stream):
        octet, at = stream[at], at + 1
        if octet in (0x11, 0x13):
            continue
        if octet == 0x10:
            escaped = True
            continue
        out.append(octet & 0x7F if escaped else octet)
        escaped = False
    return bytes(out), at


def split(stream):
    """Every frame of one direction as (type, data, CRCs good); the trigger as ("trigger", b"",
    True). Octets between them (a modem's texts) are passed over."""
    frames, at = [], 0
    while at < len(stream):
        if stream.startswith(TRIGGER, at):
            frames.append(("trigger", b"", True))
            at += len(TRIGGER)
            continue
        if stream[at:at + 2] != b"\x55\xff":
            at += 1
            continue
        header, at = _unescape(stream, at + 2, 4)
        if len(header) < 4:
            break
        length, data = header[1] << 8 | header[2], b""
        good = mstp.header_crc(header[:3]) == header[3]
        if good and length:
            data, at = _unescape(stream, at, length + 2)
            good = len(data) == length + 2 and mstp.data_crc(data[:length]) == data[-2] | data[-1] << 8
            data = data[:length]
        frames.append((header[0], data, good))
    return frames


def types(frames):
    return [f[0] for f in frames]


def as_mstp(frames, source, destination):
    """The NPDU of every data frame in an MS/TP data frame from `source` to `destination`."""
    out = []
    for kind, data, _ in frames:
        if kind in (DATA_0, DATA_1):
            expecting_reply = len(data) > 1 and data[1] & 0x04
            kind = mstp.DATA_EXPECTING_REPLY if expecting_reply else mstp.DATA_NOT_EXPECTING_REPLY
            out.append(mstp.Frame(mstp.frame(kind, destination, source, data)))
    return out
