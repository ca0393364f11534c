"""A plain UDP socket speaking raw BVLC frames, run inside a namespace:

    bvlc_client.py BIND_IP BIND_PORT TARGET_IP TARGET_PORT FRAME_HEX...

sends each frame in turn and prints one JSON list: per frame, the hex of every datagram that
came back within a short wait."""

import json
import socket
import sys

bind_ip, bind_port, target_ip, target_port = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind((bind_ip, bind_port))
answers = []
for frame in sys.argv[5:]:
    s.sendto(bytes.fromhex(frame), (target_ip, target_port))
    got = []
    s.settimeout(0.6)
    try:
        while True:
            data, _ = s.recvfrom(65535)
            got.append(data.hex())
            s.settimeout(0.2)
    except socket.timeout:
        pass
    answers.append(got)
print(json.dumps(answers))
