"""Confirmed requests whose answers or requests do not fit one APDU, between two of our stacks
and between our stack and @bacnet-js/client, on a veth pair; tshark dissects every segment."""

import json
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e.harness import capture, netlab, node_peer  # noqa: E402
from e2e.tools.apdu_node import (Node, letters, read_property, read_property_ack,  # noqa: E402
                                 read_property_multiple, read_property_multiple_ack, write_property)
from e2e.tools.peer import bip_mac, connect_string  # noqa: E402

MAX_APDU = {0: 50, 1: 128, 2: 206, 3: 480, 4: 1024, 5: 1476}
BVLC_AND_NPDU = 4 + 2
# A 1476-octet APDU does not fit one Ethernet frame: the IP fragments after the first carry no
# UDP header, and tshark needs them to put the datagram together.
CAPTURE_FILTER = "udp port 47808 or (ip[6:2] & 0x1fff != 0)"


def acknowledged(segments, window):
    """The sequence numbers a receiver acknowledges: the first, each window's last, the last."""
    return sorted({0, segments - 1, *range(window, segments, window)})


def frames(path):
    """(source, APDU length, type, segmented, more, sequence, window, invoke) of every frame."""
    rows = capture.fields(path, "ip.src", "udp.length", "bacapp.type", "bacapp.segmented_request",
                          "bacapp.more_segments", "bacapp.sequence_number", "bacapp.window_size",
                          "bacapp.invoke_id")
    out = []
    for src, udp_length, *rest in rows:
        if not udp_length:
            continue  # the first part of an IP-fragmented datagram; its last part carries the UDP header
        out.append((src, int(udp_length) - 8 - BVLC_AND_NPDU, *[int(v) if v else None for v in rest]))
    return out


class SegmentedExchanges(unittest.TestCase):
    def check_segments(self, rows, sender, pdu_type, invoke, data_length, max_apdu_code, header):
        """Every segment of one message: all sequence numbers once, none over the max-APDU."""
        segments = [r for r in rows if r[0] == sender and r[2] == pdu_type and r[7] == invoke and r[3] == 1]
        size = MAX_APDU[max_apdu_code] - header
        count = -(-data_length // size)
        self.assertEqual(sorted(r[5] for r in segments), list(range(count)))
        self.assertTrue(all(r[1] <= MAX_APDU[max_apdu_code] for r in segments), segments)
        self.assertEqual([r[4] for r in sorted(segments, key=lambda r: r[5])], [1] * (count - 1) + [0])
        return count

    def acks(self, rows, sender, invoke):
        return [r[5] for r in rows if r[0] == sender and r[2] == 4 and r[7] == invoke]

    def test_our_stacks_answer_each_other_in_segments(self):
        with netlab.Lab() as lab:
            a, b = lab.host("a"), lab.host("b")
            ip_a, ip_b = lab.link(a, b)
            cap = capture.Capture(b, b.addresses[0][0], CAPTURE_FILTER, name="segmented_both_ways")
            na, nb = Node(a, connect_string(ip_a)), Node(b, connect_string(ip_b))
            try:
                # a reads from b: a ReadProperty answer of about 3000 octets in 480-octet APDUs.
                nb.answer(3000)
                na.request(1, 1, bip_mac(ip_b), 11, 3, 12, read_property())
                done = na.wait("done", tag=1, timeout=20)
                self.assertEqual((done["success"], done["type"], done["service"]), (1, 3, 12))
                self.assertEqual(bytes.fromhex(done["data"]), read_property_ack(3000))

                # b reads from a: a ReadPropertyMultiple answer of about 1000 octets in 128-octet APDUs.
                na.answer(1000)
                nb.request(2, 1, bip_mac(ip_a), 22, 1, 14, read_property_multiple())
                done = nb.wait("done", tag=2, timeout=20)
                self.assertEqual((done["success"], done["type"], done["service"]), (1, 3, 14))
                self.assertEqual(bytes.fromhex(done["data"]), read_property_multiple_ack(1000))

                # a writes 2000 characters to b: the request itself goes in segments.
                na.request(3, 1, bip_mac(ip_b), 33, 3, 15, write_property(2000))
                seen = nb.wait("request", service=15, timeout=20)
                self.assertEqual((seen["invoke"], seen["segmented"]), (33, 1))
                self.assertEqual(bytes.fromhex(seen["data"]), write_property(2000))
                done = na.wait("done", tag=3, timeout=20)
                self.assertEqual((done["success"], done["type"]), (1, 2))
            finally:
                na.quit()
                nb.quit()
            path = cap.stop()
            capture.assert_clean(path, expect_frames=10)
            rows = frames(path)

            n = self.check_segments(rows, ip_b, 3, 11, len(read_property_ack(3000)), 3, 5)
            self.assertEqual(self.acks(rows, ip_a, 11), acknowledged(n, 5))
            n = self.check_segments(rows, ip_a, 3, 22, len(read_property_multiple_ack(1000)), 1, 5)
            self.assertEqual(self.acks(rows, ip_b, 22), acknowledged(n, 5))
            n = self.check_segments(rows, ip_a, 0, 33, len(write_property(2000)), 3, 6)
            self.assertEqual(self.acks(rows, ip_b, 33), acknowledged(n, 4))
            # tshark put each segmented message together again.
            reassembled = capture.fields(path, "bacapp.reassembled.length", display_filter="bacapp.reassembled.length")
            self.assertEqual(len(reassembled), 3)

    def test_bacnet_js_reads_a_segmented_answer_and_takes_a_segmented_request(self):
        with netlab.Lab() as lab:
            a, b = lab.host("a"), lab.host("b")
            ip_a, ip_b = lab.link(a, b)
            cap = capture.Capture(b, b.addresses[0][0], CAPTURE_FILTER, name="segmented_npm_peer")
            nb = Node(b, connect_string(ip_b))
            try:
                nb.answer(4000)
                for invoke, max_apdu in ((101, 3), (102, None)):  # 480 octets, and the peer's default 1476
                    args = {"mode": "read", "interface": ip_a, "address": ip_b, "type": 8, "instance": 1234,
                            "property": 77, "invokeId": invoke}
                    if max_apdu is not None:
                        args["maxApdu"] = max_apdu
                    peer = node_peer.start(a, "segmented_peer.js", json.dumps(args))
                    answer = node_peer.read_json_line(peer, timeout=30)
                    peer.wait(timeout=10)
                    peer.stdout.close()
                    self.assertEqual(answer, {"ok": {"type": 7, "length": 4000, "value": letters(4000)}})
                    seen = nb.wait("request", service=12)
                    self.assertEqual(bytes.fromhex(seen["data"]), read_property())

                server = node_peer.start(a, "segmented_peer.js", json.dumps({"mode": "serve", "interface": ip_a}),
                                         stdin=subprocess.PIPE)
                self.assertEqual(node_peer.read_json_line(server, timeout=10), {"event": "listening"})
                nb.request(4, 1, bip_mac(ip_a), 44, 3, 15, write_property(1500))
                write = node_peer.read_json_line(server, timeout=20)
                self.assertEqual(write, {"event": "write", "invokeId": 44, "property": 28, "type": 7,
                                         "length": 1500, "value": letters(1500)})
                done = nb.wait("done", tag=4, timeout=20)
                self.assertEqual((done["success"], done["type"], done["invoke"]), (1, 2, 44))
                server.stdin.close()
                server.wait(timeout=10)
                server.stdout.close()
            finally:
                nb.quit()
            path = cap.stop()
            capture.assert_clean(path, expect_frames=10)
            rows = frames(path)
            n = self.check_segments(rows, ip_b, 3, 101, len(read_property_ack(4000)), 3, 5)
            self.assertEqual(len(self.acks(rows, ip_a, 101)), len(acknowledged(n, 5)))
            n = self.check_segments(rows, ip_b, 3, 102, len(read_property_ack(4000)), 5, 5)
            self.assertEqual(len(self.acks(rows, ip_a, 102)), len(acknowledged(n, 3)))
            self.check_segments(rows, ip_b, 0, 44, len(write_property(1500)), 3, 6)


if __name__ == "__main__":
    netlab.require_root()
    unittest.main()
