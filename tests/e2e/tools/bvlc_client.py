"""A plain UDP socket speaking raw BVLC frames, run inside a namespace:

    bvlc_client.py BIND_IP BIND_PORT TARGET_IP TARGET_PORT FRAME_HEX...

sends each frame in turn (to a broadcast address too) and prints one JSON list: per frame, the
hex of every datagram that came back within a short wait, of at most three seconds."""

import json
import socket
import sys
import time

bind_ip, bind_port, target_ip, target_port = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
# Room for a burst of answers (a Who-Is of many devices) while this script reads them.
s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 20)
s.bind((bind_ip, bind_port))
answers = []
for frame in sys.argv[5:]:
    s.sendto(bytes.fromhex(frame), (target_ip, target_port))
    got = []
    s.settimeout(0.6)
    end = time.monotonic() + 3
    try:
        while time.monotonic() < end:
            data, _ = s.recvfrom(65535)
            got.append(data.hex())
            s.settimeout(0.2)
    except socket.timeout:
        pass
    answers.append(got)
print(json.dumps(answers))
