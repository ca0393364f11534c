"""Devices that announce themselves and never answer, run inside a namespace:

    silent_devices.py '{"devices": [instance, ...], "first_port": 47810}'

Listens for Who-Is on UDP 47808 and answers every one, whatever its range, with an I-Am per
device, each sent from a socket of its own (first_port, first_port + 1, ...). Nothing that
reaches those sockets is ever answered. Prints JSON lines: {"ready": true}, then
{"whoIs": true} per Who-Is and {"request": instance, "apdu": hex} per datagram a device
socket received."""

import json
import select
import socket
import struct
import sys

options = json.loads(sys.argv[1])
devices = options["devices"]
first_port = options.get("first_port", 47810)


def say(obj):
    print(json.dumps(obj), flush=True)


def i_am(instance):
    """An original unicast I-Am: max APDU 480, segmented both, vendor 999."""
    apdu = bytes([0x10, 0x00, 0xC4]) + struct.pack(">I", (8 << 22) | instance)
    apdu += bytes([0x22, 0x01, 0xE0, 0x91, 0x00, 0x22, 0x03, 0xE7])
    npdu = bytes([0x01, 0x00]) + apdu
    return bytes([0x81, 0x0A]) + struct.pack(">H", len(npdu) + 4) + npdu


def apdu_of(frame):
    """The APDU of a BVLC frame carrying an NPDU, behind the NPDU's optional addresses."""
    if len(frame) < 6 or frame[0] != 0x81:
        return b""
    control, at = frame[5], 6
    if control & 0x20:
        at += 3 + frame[at + 2]
    if control & 0x08:
        at += 3 + frame[at + 2]
    if control & 0x20:
        at += 1  # hop count
    return frame[at:]


listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
listener.bind(("0.0.0.0", 47808))
sockets = {}
for n, instance in enumerate(devices):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(("0.0.0.0", first_port + n))
    sockets[s] = instance
say({"ready": True})

while True:
    readable, _, _ = select.select([listener, *sockets], [], [])
    for s in readable:
        data, sender = s.recvfrom(65535)
        apdu = apdu_of(data)
        if s is not listener:
            say({"request": sockets[s], "apdu": apdu.hex()})
        elif apdu[:2] == b"\x10\x08":
            say({"whoIs": True})
            for device_socket, instance in sockets.items():
                device_socket.sendto(i_am(instance), (sender[0], 47808))
