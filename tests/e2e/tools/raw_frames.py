"""Sends raw Ethernet frames on one interface, run inside a namespace:

    raw_frames.py INTERFACE FRAME_HEX...

each frame goes out as given (MAC addresses included), in turn."""

import socket
import sys

interface = sys.argv[1]
s = socket.socket(socket.AF_PACKET, socket.SOCK_RAW)
s.bind((interface, 0))
for frame in sys.argv[2:]:
    s.send(bytes.fromhex(frame))
s.close()
