"""The remote-property cache (tests/e2e/tools/cache_node) against a device played by
@bacnet-js/client (tests/peers/analog_device.js) on a veth pair: the cache probes the device,
reads its Analog Value, follows a change, takes the COV notifications the device sends
(unconfirmed and confirmed), and writes through a handle. tshark dissects the
ReadPropertyMultiple and WriteProperty requests we send."""

import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e.harness import capture, netlab, node_peer  # noqa: E402
from e2e.tools.cache_node import CacheNode  # noqa: E402
from e2e.tools.peer import connect_string  # noqa: E402

OWN = 4711
PEER = 1234
ANALOG_VALUE = 2
PRESENT_VALUE = 85


class Device(node_peer.PeerLines):
    """The npm device: commands on its standard input, its JSON lines collected on a thread."""

    what = "device"

    def __init__(self, host, script="analog_device.js", **options):
        super().__init__(node_peer.start_ready(host, script, options, stdin=subprocess.PIPE))


class RemoteCache(unittest.TestCase):
    def test_cache_reads_follows_takes_cov_and_writes_against_the_npm_device(self):
        with netlab.Lab() as lab:
            a, b = lab.host("a"), lab.host("b")
            ip_a, ip_b = lab.link(a, b)
            cap = capture.Capture(a, a.addresses[0][0], "udp port 47808", name="cache")
            device = Device(b, device=PEER, broadcast="10.111.1.255", value=21.5)
            node = CacheNode(a, connect_string(ip_a), device=OWN)
            try:
                node.ask(f"whois {PEER} {PEER}", "whois")
                node.wait("iam", device=PEER)
                handle = node.ask(f"subscribe {PEER} {ANALOG_VALUE} 1 {PRESENT_VALUE}", "subscribed")["handle"]
                first = node.wait("cache", value=21.5, timeout=10)
                self.assertEqual((first["device"], first["type"], first["instance"], first["property"], first["error"],
                                  first["client"], first["handle"]),
                                 (PEER, ANALOG_VALUE, 1, PRESENT_VALUE, 0, node.ready["client"], handle))
                # The device was asked what it supports once; the first read went out before the
                # answer, every later one as ReadPropertyMultiple.
                device.wait("readPropertyMultiple", timeout=10)
                probes = [r["property"] for r in device.seen("readProperty") if r["type"] == 8]
                self.assertEqual(sorted(probes), [97, 107])
                self.assertEqual(device.seen("readPropertyMultiple")[0],
                                 [{"type": ANALOG_VALUE, "instance": 1, "properties": [PRESENT_VALUE]}])

                # A change on the device reaches the subscriber with the next cycle.
                device.command(set=23.25)
                node.wait("cache", value=23.25, timeout=10)
                # A waiting read through the handle ends with the next result.
                node.command(f"read {handle}")
                read = node.wait("read", timeout=10)
                self.assertEqual((read["result"], read["get"], read["value"]), (0, 0, 23.25))

                # COV notifications store what they tell (the next read brings the device's own
                # value back); the confirmed one is acknowledged.
                device.command(cov=30.5)
                device.wait("notified", notified=30.5, confirmed=False)
                node.wait("cache", value=30.5, timeout=10)
                device.command(cov=31.5, confirmed=True)
                self.assertTrue(device.wait("notified", notified=31.5)["acknowledged"])
                node.wait("cache", value=31.5, timeout=10)

                # A waited write goes out once with its priority; the device takes it.
                node.command(f"write {handle} 42.5 8")
                self.assertEqual(node.wait("written", timeout=15)["result"], 0)
                device.wait("writeProperty")  # its line may still be on the way to us
                self.assertEqual(device.seen("writeProperty"),
                                 [{"type": ANALOG_VALUE, "instance": 1, "property": PRESENT_VALUE, "value": 42.5,
                                   "priority": 8}])
                self.assertEqual(node.ask(f"status {PEER} {ANALOG_VALUE} 1 {PRESENT_VALUE}", "status")["result"], 0)
                node.wait("cache", value=42.5, timeout=10)
                time.sleep(2.5)  # two more cycles: the write is not repeated
                self.assertEqual(len(device.seen("writeProperty")), 1)
            finally:
                node.quit()
                device.stop()
            path = cap.stop()
            capture.assert_clean(path, expect_frames=10)
            ours = f"ip.src == {ip_a} && bacapp.type == 0"
            rpm = capture.fields(path, "bacapp.objectType", "bacapp.instance_number", "bacapp.property_identifier",
                                 display_filter=f"{ours} && bacapp.confirmed_service == 14")
            self.assertTrue(rpm, "no ReadPropertyMultiple of ours on the wire")
            self.assertEqual(set(rpm), {("2", "1", "85")})
            wp = capture.fields(path, "bacapp.objectType", "bacapp.instance_number", "bacapp.property_identifier",
                                "bacapp.present_value.real", display_filter=f"{ours} && bacapp.confirmed_service == 15")
            self.assertEqual(wp, [("2", "1", "85", "42.5")])
            # The priority follows the value as context tag 4.
            text = capture.tshark(path, "-V", "-Y", f"{ours} && bacapp.confirmed_service == 15")
            self.assertIn("Priority: (Unsigned) 8", text)


if __name__ == "__main__":
    netlab.require_root()
    unittest.main()
