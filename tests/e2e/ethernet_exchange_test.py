"""Two stacks' Ethernet ports on a veth pair: unicast and broadcast NPDUs in raw 802.3 frames
with the LLC header, every frame dissected by tshark; a port's own broadcast comes back to it
once; short, mis-tagged and wrongly sized frames are dropped and counted. The local device on
Ethernet answers what is sent to its MAC or to all, never what is sent to another station; a
NIC that names the loopback device is refused at start."""

import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e.harness import capture, netlab, programs  # noqa: E402
from e2e.tools.peer import Peer, ethernet_connect_string, interface_mac, nic_number  # noqa: E402
from e2e.tools.server_node import ServerNode  # noqa: E402

RAW_FRAMES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "tools", "raw_frames.py")
WHO_IS = "1008"
WHO_IS_ONE = "100809011901"
READ_PROPERTY = "0005010c0c020000011955"  # confirmed, invoke id 1, Device 1 present-value
LLC_FILTER = "ether[12:2] <= 1500"
DEVICE = 4711
OTHER_STATION = "02005e0000ee"


def read_name(invoke):
    """ReadProperty of the object name of Device 4711."""
    return f"0005{invoke:02x}0c0c02001267194d"


def ethernet_peer(host, network=1, **kw):
    interface = host.addresses[0][0]
    return Peer(host, ethernet_connect_string(nic_number(host, interface), network), **kw)


def frame(destination, source, body, length=None, llc="828203", pad_to=0):
    """An 802.3 frame: MACs, length field (the LLC header and NPDU unless given), LLC, NPDU."""
    payload = bytes.fromhex(llc + body)
    out = bytes.fromhex(destination + source) + (len(payload) if length is None else length).to_bytes(2, "big")
    out += payload
    return (out + bytes(max(0, pad_to - len(out)))).hex()


class TwoStacks(unittest.TestCase):
    def test_unicast_and_broadcast_npdus_cross_in_802_3_frames(self):
        with netlab.Lab() as lab:
            a, b = lab.host("a"), lab.host("b")
            lab.link(a, b)
            if_a, if_b = a.addresses[0][0], b.addresses[0][0]
            mac_a, mac_b = interface_mac(a, if_a), interface_mac(b, if_b)
            cap = capture.Capture(b, if_b, LLC_FILTER, name="ethernet")
            pa, pb = ethernet_peer(a), ethernet_peer(b)
            try:
                # The port's own address is the MAC of the adapter it opened.
                self.assertEqual((pa.ready["own_net"], pa.ready["own_mac"]), (1, mac_a))
                self.assertEqual(pb.ready["own_mac"], mac_b)

                self.assertEqual(pa.call(f"send 1 {mac_b} {WHO_IS_ONE}", "sent")["result"], 0)
                rx = pb.wait("rx", apdu=WHO_IS_ONE)
                self.assertEqual((rx["src_mac"], rx["dst_mac"], rx["dnet"]), (mac_a, mac_b, -1))

                self.assertEqual(pb.call(f"send 1 {mac_a} {READ_PROPERTY} 1", "sent")["result"], 0)
                rx = pa.wait("rx", apdu=READ_PROPERTY)
                self.assertEqual((rx["src_mac"], rx["expecting_reply"]), (mac_b, 1))

                # An Ethernet unicast needs a six-octet address.
                self.assertEqual(pa.call(f"send 1 0a6f0102 {WHO_IS}", "sent")["result"], -1)

                self.assertEqual(pa.call(f"broadcast {WHO_IS}", "sent")["result"], 0)
                rx = pb.wait("rx", apdu=WHO_IS)
                self.assertEqual((rx["src_mac"], rx["dnet"]), (mac_a, 65535))
                # Our own broadcast comes back once, through the port's own receive path.
                own = pa.wait("rx", apdu=WHO_IS)
                self.assertEqual((own["src_mac"], own["dst_mac"]), (mac_a, mac_a))
                time.sleep(0.5)
                self.assertEqual(len(pb.all("rx", apdu=WHO_IS)), 1)
                self.assertEqual(len(pa.all("rx", apdu=WHO_IS)), 1)
                path = cap.stop()

                # Frames that are not BACnet as it should be never go up, and each is counted.
                good = "0100" + "10080102"
                b.run(["/usr/bin/python3", RAW_FRAMES, if_b,
                       frame(mac_a, mac_b, "0100" + "1008aa", llc="828213"),          # LLC control 0x13
                       frame(mac_a, mac_b, "0100" + "1008bb", length=40),             # length beyond the frame
                       frame(mac_a, mac_b, "0100" + "1008cc", length=4, pad_to=100),  # trailer behind a long frame
                       frame(mac_a, mac_b, "0100", length=3),                         # no NPDU at all
                       frame(mac_a, mac_b, good, pad_to=60)])                         # padded to the minimum: fine
                pa.wait("rx", apdu="10080102")
                self.assertEqual(pa.dropped(), [4])
                self.assertEqual([e["apdu"] for e in pa.all("rx") if e["src_mac"] == mac_b],
                                 [READ_PROPERTY, "10080102"])
            finally:
                pa.quit()
                pb.quit()
            self.assertEqual(capture.assert_clean(path, expect_frames=3), 3)
            rows = capture.fields(path, "eth.src", "eth.dst", "eth.len", "llc.dsap", "llc.ssap", "llc.control",
                                  "bacnet.version", "bacnet.dnet", "bacnet.control_expect", "bacapp.type")
            colon = lambda mac: ":".join(mac[i:i + 2] for i in range(0, 12, 2))  # noqa: E731
            self.assertEqual(rows, [
                (colon(mac_a), colon(mac_b), "11", "0x82", "0x82", "0x0003", "1", "", "0", "1"),
                (colon(mac_b), colon(mac_a), "16", "0x82", "0x82", "0x0003", "1", "", "1", "0"),
                (colon(mac_a), "ff:ff:ff:ff:ff:ff", "11", "0x82", "0x82", "0x0003", "1", "65535", "0", "1"),
            ])

    def test_the_device_answers_only_what_is_sent_to_its_mac_or_to_all(self):
        with netlab.Lab() as lab:
            a, b = lab.host("a"), lab.host("b")
            lab.link(a, b)
            if_a, if_b = a.addresses[0][0], b.addresses[0][0]
            mac_b = interface_mac(b, if_b)
            refused = a.run([programs.program("datalink_peer"), ethernet_connect_string(nic_number(a, "lo"))],
                            check=False, input="")
            self.assertIn('"text":"Error creating link layer"', refused.stdout)

            cap = capture.Capture(a, if_a, LLC_FILTER, name="ethernet_device")
            pa = ethernet_peer(a)
            node = ServerNode(b, ethernet_connect_string(nic_number(b, if_b)), device=DEVICE)
            answers = lambda: [e["apdu"] for e in pa.all("rx", src_mac=mac_b)]  # noqa: E731
            i_ams = lambda: [apdu for apdu in answers() if apdu.startswith("1000")]  # noqa: E731
            try:
                self.assertEqual(node.ready["loaded"], 0, node.events)
                self.assertTrue(netlab.wait_for(lambda: len(i_ams()) == 1))  # the device announces itself
                # Another station's requests come first: were they answered, their answers would too.
                for apdu in (read_name(1), WHO_IS):
                    self.assertEqual(pa.call(f"send 1 {OTHER_STATION} {apdu} 1", "sent")["result"], 0)
                self.assertEqual(pa.call(f"send 1 {mac_b} {read_name(2)} 1", "sent")["result"], 0)
                self.assertEqual(pa.call(f"broadcast {WHO_IS}", "sent")["result"], 0)
                self.assertTrue(netlab.wait_for(lambda: len(i_ams()) == 2))
                self.assertTrue(netlab.wait_for(lambda: any(apdu.startswith("3002") for apdu in answers())))
                self.assertEqual([apdu[:4] for apdu in answers() if not apdu.startswith("1000")], ["3002"])
            finally:
                pa.quit()
                node.quit()
                path = cap.stop()
        capture.assert_clean(path, expect_frames=7)
        rows = capture.fields(path, "bacapp.type", "bacapp.invoke_id", display_filter=f"eth.src == {colon(mac_b)}")
        self.assertEqual(sorted(rows), [("1", ""), ("1", ""), ("3", "2")])


def colon(mac):
    return ":".join(mac[i:i + 2] for i in range(0, 12, 2))


if __name__ == "__main__":
    netlab.require_root()
    unittest.main()
