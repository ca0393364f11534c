"""Two test hosts, one UDP datagram on port 47808 between them, dissected by tshark as BVLC."""

import os
import socket
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e.harness import capture, netlab, node_peer  # noqa: E402

SENDER = r"""
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind((sys.argv[1], 47808))
# Original-Unicast-NPDU with a Who-Is for instances 1..10
s.sendto(bytes.fromhex("810a000c010010080901190a"), (sys.argv[2], 47808))
"""


class BvlcSmoke(unittest.TestCase):
    def test_datagram_crosses_the_veth_and_dissects_as_bvlc(self):
        with netlab.Lab() as lab:
            a, b = lab.host("a"), lab.host("b")
            ip_a, ip_b = lab.link(a, b)
            veth_b = b.addresses[0][0]
            cap = capture.Capture(b, veth_b, "udp port 47808", name="bvlc_smoke")
            a.run(["/usr/bin/python3", "-c", SENDER, ip_a, ip_b])
            path = cap.stop()
            capture.assert_clean(path, expect_frames=1)
            rows = capture.fields(path, "ip.src", "bvlc.function", "bacapp.unconfirmed_service")
            self.assertEqual(rows, [(ip_a, "0x0a", "8")])

    def test_the_npm_peer_broadcasts_a_who_is_into_the_lab(self):
        with netlab.Lab() as lab:
            a, b = lab.host("a"), lab.host("b")
            ip_a, ip_b = lab.link(a, b)
            cap = capture.Capture(b, b.addresses[0][0], "udp port 47808", name="npm_whois")
            peer = node_peer.start(a, "who_is.js", ip_a, "10.111.1.255", 5, 500, 200)
            self.assertEqual(node_peer.read_json_line(peer), {"sent": "whoIs"})
            peer.wait(timeout=10)
            peer.stdout.close()
            path = cap.stop()
            capture.assert_clean(path, expect_frames=1)
            rows = capture.fields(path, "ip.src", "bvlc.function", "bacapp.unconfirmed_service",
                                  "bacapp.who_is.low_limit", "bacapp.who_is.high_limit")
            self.assertEqual(rows, [(ip_a, "0x0b", "8", "5", "500")])

    def test_a_foreign_interface_stops_the_lab(self):
        with netlab.Lab() as lab:
            a = lab.host("a")
            a.run(["ip", "link", "add", "intruder", "type", "veth", "peer", "name", "intruder2"], check_isolation=False)
            with self.assertRaises(RuntimeError):
                a.run(["true"])


if __name__ == "__main__":
    netlab.require_root()
    unittest.main()
