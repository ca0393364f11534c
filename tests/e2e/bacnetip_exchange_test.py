"""Two stacks' BACnet/IP ports on a veth pair: unicasts and broadcasts between them, every
frame dissected by tshark; a port that is no BBMD answering the management functions."""

import json
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e.harness import capture, netlab  # noqa: E402
from e2e.tools.peer import Peer, bip_mac, connect_string  # noqa: E402

CLIENT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "tools", "bvlc_client.py")
WHO_IS = "1008"
WHO_IS_ONE = "100809011901"
READ_PROPERTY = "0005010c0c020000011955"  # confirmed, invoke id 1, Device 1 present-value


def bvlc_client(host, target_ip, *frames, bind_port=47809):
    out = host.run(["/usr/bin/python3", CLIENT, host.ip, str(bind_port), target_ip, "47808", *frames]).stdout
    return json.loads(out)


class TwoStacks(unittest.TestCase):
    def test_unicast_and_broadcast_npdus_cross_and_dissect_cleanly(self):
        with netlab.Lab() as lab:
            a, b = lab.host("a"), lab.host("b")
            ip_a, ip_b = lab.link(a, b)
            cap = capture.Capture(b, b.addresses[0][0], "udp port 47808", name="exchange")
            pa, pb = Peer(a, connect_string(ip_a)), Peer(b, connect_string(ip_b))
            try:
                self.assertEqual(pa.ready["own_mac"], bip_mac(ip_a))
                self.assertEqual(pa.ready["own_net"], 1)

                self.assertEqual(pa.call(f"send 1 {bip_mac(ip_b)} {WHO_IS_ONE}", "sent")["result"], 0)
                rx = pb.wait("rx", apdu=WHO_IS_ONE)
                self.assertEqual((rx["src_mac"], rx["dst_mac"], rx["dnet"]), (bip_mac(ip_a), bip_mac(ip_b), -1))

                self.assertEqual(pb.call(f"send 1 {bip_mac(ip_a)} {READ_PROPERTY} 1", "sent")["result"], 0)
                rx = pa.wait("rx", apdu=READ_PROPERTY)
                self.assertEqual((rx["src_mac"], rx["expecting_reply"]), (bip_mac(ip_b), 1))

                # A unicast to nobody in particular is refused, not sent to 0.0.0.0.
                self.assertEqual(pa.call(f"send 1 00 {WHO_IS}", "sent")["result"], -1)

                self.assertEqual(pa.call(f"broadcast {WHO_IS}", "sent")["result"], 0)
                rx = pb.wait("rx", apdu=WHO_IS)
                self.assertEqual((rx["src_mac"], rx["dnet"]), (bip_mac(ip_a), 65535))
                # Our own broadcast comes back and goes up like any other.
                own = pa.wait("rx", apdu=WHO_IS)
                self.assertEqual(own["src_mac"], bip_mac(ip_a))
                time.sleep(0.5)
                self.assertEqual(len(pb.all("rx", apdu=WHO_IS)), 1)
                self.assertEqual(len(pa.all("rx", apdu=WHO_IS)), 1)
            finally:
                pa.quit()
                pb.quit()
            path = cap.stop()
            self.assertEqual(capture.assert_clean(path, expect_frames=3), 3)
            rows = capture.fields(path, "ip.src", "ip.dst", "bvlc.function", "bacnet.dnet", "bacnet.control_expect")
            self.assertEqual(rows, [
                (ip_a, ip_b, "0x0a", "", "0"),
                (ip_b, ip_a, "0x0a", "", "1"),
                (ip_a, "10.111.1.255", "0x0b", "65535", "0"),
            ])

    def test_a_port_that_is_no_bbmd_answers_each_management_function_with_its_nak(self):
        with netlab.Lab() as lab:
            a, b = lab.host("a"), lab.host("b")
            ip_a, ip_b = lab.link(a, b)
            cap = capture.Capture(b, b.addresses[0][0], "udp src port 47808", name="naks")
            pa = Peer(a, connect_string(ip_a))
            try:
                answers = bvlc_client(b, ip_a,
                                      "8101000e0a6f0102bac0ffffffff",  # Write-BDT
                                      "81020004",                      # Read-BDT
                                      "810500060078",                  # Register-Foreign-Device
                                      "81060004",                      # Read-FDT
                                      "8108000a0a6f0102bac0",          # Delete-FDT-Entry
                                      "8109000801001008",              # Distribute-Broadcast-To-Network
                                      "81030004", "81070004", "810c0004", "810a000a01001008")
                self.assertEqual(answers, [["810000060010"], ["810000060020"], ["810000060030"], ["810000060040"],
                                           ["810000060050"], ["810000060060"], [], [], [], []])
                time.sleep(0.3)
                self.assertEqual(pa.all("rx"), [])
            finally:
                pa.quit()
            path = cap.stop()
            capture.assert_clean(path, expect_frames=6)
            results = [r[0] for r in capture.fields(path, "bvlc.result")]
            self.assertEqual(results, ["0x0010", "0x0020", "0x0030", "0x0040", "0x0050", "0x0060"])


if __name__ == "__main__":
    netlab.require_root()
    unittest.main()
