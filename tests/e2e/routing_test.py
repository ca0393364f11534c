"""Our stack among routers, the whole stack as the backend starts it (tests/e2e/tools/api_host):

- with two ports (BACnet/IP network 1, Ethernet network 2) it is no router: it announces no
  route at start (no I-Am-Router-To-Network), NPDUs for network 2 or any other network are not
  passed on, Who-Is-Router-To-Network is not answered, a global broadcast stays on the network it
  came from; on network 2 tshark sees only the stack's own I-Am;
- with one port it reads and writes an @bacnet-js/client device behind a router it does not
  know at start (tests/peers/bip_router.js, on the same library): with the device's address
  bound, it locates network 2 with Who-Is-Router-To-Network, learns the route from the
  I-Am-Router-To-Network and reaches the device through it; tshark checks DNET/DADR on our side
  and SNET/SADR on the far side."""

import json
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e.cache_test import Device  # noqa: E402
from e2e.harness import capture, netlab, node_peer  # noqa: E402
from e2e.tools.api_client import ApiClient  # noqa: E402
from e2e.tools.api_host import ApiHost, api_connect_string  # noqa: E402
from e2e.tools.peer import bip_mac, connect_string, ethernet_connect_string, interface_mac, \
    nic_number  # noqa: E402

BVLC_CLIENT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "tools", "bvlc_client.py")
OWN = 4711
DEVICE = 1234
LLC_FILTER = "ether[12:2] <= 1500"
# The first try of the first call waits while network 2 is located; its retry goes 3 s later.
CALL_BOUND = 10


def colon(mac):
    return ":".join(mac[i:i + 2] for i in range(0, len(mac), 2))


def bvlc_unicast(npdu):
    return f"810a{len(npdu) // 2 + 4:04x}{npdu}"


def device_id(instance):
    return f"{8 << 22 | instance:08x}"


def server_calls(test, host, ip, *calls):
    """Confirmed calls of tests/peers/server_calls.js from port 47809 of `host` to our stack at
    `ip`; their outcomes."""
    request = {"interface": ip, "port": 47809, "address": ip, "timeout": 3000, "calls": list(calls)}
    proc = node_peer.start(host, "server_calls.js", json.dumps(request))
    out, _ = proc.communicate(timeout=30)
    lines = [json.loads(line) for line in out.splitlines() if line.startswith("{")]
    test.assertEqual(len(lines), len(calls), out)
    return lines


class Routing(unittest.TestCase):
    def test_our_stack_with_two_ports_passes_nothing_on_and_answers_no_who_is_router(self):
        with netlab.Lab() as lab:
            c, r, d = lab.host("c"), lab.host("r"), lab.host("d")
            ip_c, ip_r = lab.link(c, r)
            lab.link(r, d)
            if_r1, if_r2 = r.addresses[0][0], r.addresses[1][0]
            mac_r2 = colon(interface_mac(r, if_r2))
            cap1 = capture.Capture(r, if_r1, "udp port 47808", name="two_ports_network1")
            cap2 = capture.Capture(r, if_r2, LLC_FILTER, name="two_ports_network2")
            host = ApiHost(r, connect_string(ip_r, network=1),
                           ethernet_connect_string(nic_number(r, if_r2), network=2), api_connect_string(), device=OWN)
            try:
                self.assertEqual((host.ready["start"], host.ready["errors"]), (0, []), host.ready)
                far = "0005010c0c020012674d"  # ReadProperty of a device's object name
                npdus = ["01240002060200000000d1ff" + far,     # for a node on network 2
                         "0124000200ff" + far,                 # for all of network 2
                         "012400630105ff" + far,               # for network 99
                         "0180000002", "018000", "0180000063",  # Who-Is-Router-To-Network
                         "0120ffff00ff" "1008"]                # Who-Is for every network
                out = c.run(["/usr/bin/python3", BVLC_CLIENT, ip_c, "47809", ip_r, "47808",
                             *map(bvlc_unicast, npdus)]).stdout
                self.assertEqual(json.loads(out), [[]] * len(npdus))
                time.sleep(0.3)
            finally:
                host.quit()
                path1, path2 = cap1.stop(), cap2.stop()
        capture.assert_clean(path1, expect_frames=len(npdus))
        capture.assert_clean(path2, expect_frames=1)
        # From us, on each network, our I-Am at start and no route; on network 1 also the I-Am
        # that answers the Who-Is. Nothing was passed on.
        announced = [("", "65535", "0"), ("", "65535", "0")]
        self.assertEqual(capture.fields(path1, "bacnet.mesgtyp", "bacnet.dnet", "bacapp.unconfirmed_service",
                                        display_filter=f"ip.src == {ip_r}"), announced)
        self.assertEqual(capture.fields(path2, "eth.src", "bacnet.mesgtyp", "bacnet.dnet", "bacapp.unconfirmed_service"),
                         [(mac_r2, "", "65535", "0")])

    def test_our_stack_locates_a_network_and_reaches_a_device_behind_a_router(self):
        with netlab.Lab() as lab:
            a, r, d = lab.host("a"), lab.host("r"), lab.host("d")
            ip_a, ip_r1 = lab.link(a, r)
            ip_r2, ip_d = lab.link(r, d)
            cap1 = capture.Capture(a, a.addresses[0][0], "udp port 47808", name="located_network1")
            cap2 = capture.Capture(d, d.addresses[0][0], "udp port 47808", name="located_network2")
            sides = [{"net": 1, "address": ip_r1, "broadcast": "10.111.1.255"},
                     {"net": 2, "address": ip_r2, "broadcast": "10.111.2.255"}]
            router = node_peer.PeerLines(node_peer.start_ready(r, "bip_router.js", {"sides": sides},
                                                               stdin=subprocess.PIPE))
            device = Device(d, device=DEVICE, broadcast="10.111.2.255")
            host = ApiHost(a, connect_string(ip_a), api_connect_string(), device=OWN)
            api = ApiClient(a)
            try:
                # The device's address is known, its network not: a binding added as a tool adds it.
                binding = f"0c{device_id(OWN)}191e3e" f"c4{device_id(DEVICE)}2102" f"6506{bip_mac(ip_d)}3f"
                added = server_calls(self, a, ip_a, {"op": "confirmedRaw", "service": 8, "hex": binding})
                self.assertEqual(added, [{"op": "confirmedRaw", "ok": {"hex": ""}}])
                for command, answer in (("1234 get:2.1.85", "21.500000"), ("1234 set:2.1.85.8 23.25", "23.250000"),
                                        ("1234 get:2.1.85", "23.250000")):
                    self.assertEqual(api.text(command, timeout=CALL_BOUND), answer, command)
                device.wait("writeProperty", value=23.25)
                self.assertEqual(router.seen("whoIsRouter"), [{"from": 1, "network": 2}])
            finally:
                api.close()
                host.quit()
                router.stop()
                device.stop()
                path1, path2 = cap1.stop(), cap2.stop()
        capture.assert_clean(path1, expect_frames=9)
        capture.assert_clean(path2, expect_frames=7)
        names = ("ip.src", "ip.dst", "bacnet.mesgtyp", "bacnet.dnet", "bacnet.dadr_eth", "bacnet.snet",
                 "bacnet.sadr_eth", "bacapp.type", "bacapp.confirmed_service")
        mac_a, mac_d = colon(bip_mac(ip_a)), colon(bip_mac(ip_d))
        calls = ("12", "3"), ("15", "2"), ("12", "3")  # service, answer type
        # Our side: our I-Am at start, the network located, then each call with DNET/DADR of the
        # device to the router and its answer from the router with the device as SNET/SADR.
        ours = [(ip_a, "10.111.1.255", "", "65535", "", "", "", "1", ""),
                (ip_a, "10.111.1.255", "0x00", "2", "", "", "", "", ""),
                (ip_r1, "10.111.1.255", "0x01", "2", "", "", "", "", "")]
        for service, answer in calls:
            ours += [(ip_a, ip_r1, "", "2", mac_d, "", "", "0", service),
                     (ip_r1, ip_a, "", "", "", "2", mac_d, answer, service)]
        self.assertEqual(capture.fields(path1, *names), ours)
        # The far side: the router names us with SNET/SADR, the device answers to them.
        far = [(ip_r2, "10.111.2.255", "", "65535", "", "1", mac_a, "1", "")]
        for service, answer in calls:
            far += [(ip_r2, ip_d, "", "", "", "1", mac_a, "0", service),
                    (ip_d, ip_r2, "", "1", mac_a, "", "", answer, service)]
        self.assertEqual(capture.fields(path2, *names), far)


if __name__ == "__main__":
    netlab.require_root()
    unittest.main()
