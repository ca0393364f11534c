"""Point-to-point frames for the serial-line tests: a recorded octet stream cut back into frames
(escapes undone, CRCs checked with the MS/TP ones of harness/mstp.py), and the data frames'
NPDUs re-wrapped as MS/TP frames, since tshark has no dissector for point-to-point."""

from . import mstp

HEARTBEAT_XON, DATA_0, DATA_1, DATA_ACK_0_XON, DATA_ACK_1_XON = 1, 2, 3, 6, 7
CONNECT_REQUEST, CONNECT_RESPONSE, DISCONNECT_REQUEST, DISCONNECT_RESPONSE = 12, 13, 14, 15
TRIGGER = b"BACnet\r\x00"


def _unescaped(stream, at):
    """(octet, index after it) of the octets from `at` on, flow-control octets dropped."""
    escaped = False
    while at < len(stream):
        octet = stream[at]
        at += 1
        if octet in (0x11, 0x13):
            continue
        if octet == 0x10:
            escaped = True
            continue
        if escaped:
            octet &= 0x7F
            escaped = False
        yield octet, at


def split(stream):
    """Every whole frame of one direction as (type, data, CRCs good); the trigger as ("trigger", b"",
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
        reader, body, at = _unescaped(stream, at + 2), [], at + 2
        for octet, at in reader:
            body.append(octet)
            if len(body) == 4:
                break
        if len(body) < 4:
            break
        length = body[1] << 8 | body[2]
        good = mstp.header_crc(bytes(body[:3])) == body[3]
        if good and length:
            for octet, at in reader:
                body.append(octet)
                if len(body) == 4 + length + 2:
                    break
            if len(body) < 4 + length + 2:
                break
            data = bytes(body[4:4 + length])
            good = mstp.data_crc(data) == body[-2] | body[-1] << 8
        frames.append((body[0], bytes(body[4:4 + length]), good))
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
