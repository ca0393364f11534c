"""Our stack as a router: @bacnet-js/client on BACnet/IP network 1, a stack with a BACnet/IP
port on network 1 and an Ethernet port on network 2 between, and our local device on network 2.
The client reads the device's object name through the router; tshark checks the network-layer
header on both links; Who-Is-Router-To-Network is answered, and a network nobody reaches is
located with Who-Is-Router-To-Network until, asked for too often, it is rejected (reason 1)."""

import json
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e.harness import capture, netlab, node_peer  # noqa: E402
from e2e.tools.peer import Peer, bip_mac, connect_string, ethernet_connect_string, interface_mac, \
    nic_number  # noqa: E402
from e2e.tools.server_node import ServerNode  # noqa: E402

BVLC_CLIENT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "tools", "bvlc_client.py")
DEVICE = 4711
LLC_FILTER = "ether[12:2] <= 1500"


def colon(mac):
    return ":".join(mac[i:i + 2] for i in range(0, len(mac), 2))


def bvlc_unicast(npdu):
    return f"810a{len(npdu) // 2 + 4:04x}{npdu}"


class RoutingLab:
    """client (c) --net 1, B/IP-- router (r) --net 2, Ethernet-- device (d)."""

    def __init__(self):
        self.lab = netlab.Lab()
        self.lab.__enter__()
        self.c, self.r, self.d = self.lab.host("c"), self.lab.host("r"), self.lab.host("d")
        self.ip_c, self.ip_r = self.lab.link(self.c, self.r)
        self.lab.link(self.r, self.d)
        self.if_r1, self.if_r2 = self.r.addresses[0][0], self.r.addresses[1][0]
        self.if_d = self.d.addresses[0][0]
        self.mac_r2, self.mac_d = interface_mac(self.r, self.if_r2), interface_mac(self.d, self.if_d)
        self.cap1 = capture.Capture(self.r, self.if_r1, "udp port 47808", name="network1")
        self.cap2 = capture.Capture(self.r, self.if_r2, LLC_FILTER, name="network2")
        self.router = Peer(self.r, connect_string(self.ip_r, network=1),
                           ethernet_connect_string(nic_number(self.r, self.if_r2), network=2), manual_clock=True)
        self.device = ServerNode(self.d, ethernet_connect_string(nic_number(self.d, self.if_d), network=2),
                                 device=DEVICE)

    def read_through_router(self, prop):
        request = {"interface": self.ip_c, "address": self.ip_r, "net": 2, "adr": list(bytes.fromhex(self.mac_d)),
                   "op": "readProperty", "type": 8, "instance": DEVICE, "property": prop, "timeout": 3000}
        proc = node_peer.start(self.c, "client_call.js", json.dumps(request))
        out, _ = proc.communicate(timeout=30)
        return json.loads(out.strip().splitlines()[-1])

    def bvlc(self, *npdus):
        """Sends each NPDU to the router from port 47809 of the client host; the datagrams back."""
        frames = [bvlc_unicast(n) for n in npdus]
        out = self.c.run(["/usr/bin/python3", BVLC_CLIENT, self.ip_c, "47809", self.ip_r, "47808", *frames]).stdout
        return json.loads(out)

    def close(self):
        try:
            self.router.quit()
            self.device.quit()
        finally:
            paths = self.cap1.stop(), self.cap2.stop()
            self.lab.__exit__(None, None, None)
        return paths


class Routing(unittest.TestCase):
    def test_a_client_reads_a_device_behind_our_router(self):
        lab = RoutingLab()
        try:
            out = lab.read_through_router(77)
            self.assertEqual(out, {"ok": {"values": [{"type": 7, "value": "ZOR17 Server"}]}})
            # Who-Is-Router-To-Network for network 2, for every network, and for one nobody reaches.
            lab.bvlc("0180000002", "018000", "0180000063")
            time.sleep(0.3)
        finally:
            path1, path2 = lab.close()
        capture.assert_clean(path1, expect_frames=4)
        capture.assert_clean(path2, expect_frames=2)
        ip_c, mac_d, mac_r2 = lab.ip_c, lab.mac_d, lab.mac_r2
        client_bip = colon(bip_mac(ip_c))

        # The router announces on each link the network behind its other port.
        announce = "bacnet.mesgtyp == 1"
        self.assertEqual(capture.fields(path1, "ip.src", "ip.dst", "bacnet.dnet", "bacnet.hopc",
                                        display_filter=announce),
                         [(lab.ip_r, "10.111.1.255", "65535,2", "255")] * 3)
        self.assertEqual(capture.fields(path2, "eth.src", "eth.dst", "bacnet.dnet", display_filter=announce),
                         [(colon(mac_r2), "ff:ff:ff:ff:ff:ff", "65535,1")])

        # The read, hop by hop: DNET/DADR from the client, SNET/SADR added on network 2, and the
        # answer back with DNET/DADR to the client and SNET/SADR of the device on network 1.
        read = "bacapp.confirmed_service == 12"
        hop1 = capture.fields(path1, "ip.src", "ip.dst", "bacnet.dnet", "bacnet.dadr_eth", "bacnet.hopc",
                              "bacnet.snet", "bacnet.sadr_eth", "bacapp.type", display_filter=read)
        self.assertEqual(hop1, [(ip_c, lab.ip_r, "2", colon(mac_d), "255", "", "", "0"),
                                (lab.ip_r, ip_c, "", "", "", "2", colon(mac_d), "3")])
        hop2 = capture.fields(path2, "eth.src", "eth.dst", "bacnet.dnet", "bacnet.dadr_eth", "bacnet.hopc",
                              "bacnet.snet", "bacnet.sadr_eth", "bacapp.type", display_filter=read)
        self.assertEqual(hop2, [(colon(mac_r2), colon(mac_d), "", "", "", "1", client_bip, "0"),
                                (colon(mac_d), colon(mac_r2), "1", client_bip, "255", "", "", "3")])

    def test_an_unknown_network_is_located_with_back_off_and_then_rejected(self):
        lab = RoutingLab()
        far_read = "0124006301" + "05ff" + "0005010c0c020012674d"  # DNET 99, DADR 05, hop 255
        try:
            # Nobody answers for network 99 yet: the request waits while the router asks.
            self.assertEqual(lab.bvlc(far_read), [[]])
            # The first Who-Is-Router went out at once, each further one after its wait; more
            # time brings none after the 25th.
            for _ in range(30):
                lab.router.call("advance 80000", "advanced")
            answers = lab.bvlc(far_read)
        finally:
            path1, path2 = lab.close()
        reject = bvlc_unicast("0180030100" + "63")
        self.assertEqual(answers, [[reject]])
        capture.assert_clean(path1, expect_frames=26)
        locate = "bacnet.mesgtyp == 0"
        self.assertEqual(capture.fields(path1, "ip.dst", "bacnet.dnet", display_filter=locate),
                         [("10.111.1.255", "99")] * 25)
        self.assertEqual(len(capture.fields(path2, "eth.dst", display_filter=locate)), 25)
        self.assertEqual(capture.fields(path1, "bacnet.rejectreason", "bacnet.dnet",
                                        display_filter="bacnet.mesgtyp == 3"), [("1", "99")])


if __name__ == "__main__":
    netlab.require_root()
    unittest.main()
