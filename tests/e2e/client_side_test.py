"""The client side of our stack (tests/e2e/tools/client_node) against @bacnet-js/client on a veth
pair: Who-Is answered with our I-Am, the peer bound by our Who-Is, parked requests, blocking
calls with every outcome, the device scan through the Device object's property 562, and time
synchronisation through the node's printing clock. tshark dissects the frames on the wire."""

import json
import os
import shutil
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e.harness import capture, netlab, node_peer  # noqa: E402
from e2e.tools.client_node import ClientNode  # noqa: E402
from e2e.tools.peer import bip_mac, connect_string  # noqa: E402

OWN = 4711
PEER = 1234
UPPER = 4194304
# I-Am of device 4711: max APDU 480, segmented both, the maker's vendor identifier 1417.
OWN_I_AM = "1000c4020012672201e09100220589"
# Our node: APDU time-out 3 s and one retry; a silent peer ends a call after 6 s.
TIMEOUTS = (3000, 3000, 1)
CALL_BOUND = 6 + 4


def start_peer(host, script, **options):
    return node_peer.start_ready(host, script, options)


class PeerLines(node_peer.PeerLines):
    def who_is(self):
        return [(w.get("low"), w.get("high")) for w in self.seen("whoIs")]

    def reads(self, **fields):
        return [r for r in self.seen("readProperty") if all(r.get(k) == v for k, v in fields.items())]


class ClientSide(unittest.TestCase):
    def test_peer_who_is_is_answered_with_our_i_am_and_our_who_is_binds_the_peer(self):
        with netlab.Lab() as lab:
            a, b = lab.host("a"), lab.host("b")
            ip_a, ip_b = lab.link(a, b)
            cap = capture.Capture(a, a.addresses[0][0], "udp port 47808", name="who_is_i_am")
            node = ClientNode(a, connect_string(ip_a), device=OWN)
            try:
                who_is = node_peer.start(b, "discover.js", "10.111.1.255", OWN, OWN, 800)
                answers = [json.loads(line) for line in who_is.stdout if line.startswith("{")]
                who_is.wait(timeout=10)
                who_is.stdout.close()
                self.assertIn({"iAm": OWN, "maxApdu": 480, "segmentation": 0, "vendor": 1417, "address": ip_a},
                              answers)

                unit = start_peer(b, "zor17_unit.js", device=PEER, broadcast="10.111.1.255")
                lines = PeerLines(unit)
                self.assertEqual(node.ask(f"whois {PEER} {PEER}", "whois")["result"], 0)
                heard = node.wait("iam", device=PEER)
                self.assertEqual(heard["vendor"], 999)
                binding = node.binding(PEER)
                self.assertEqual((binding["result"], binding["known"], binding["online"]), (0, 1, 1))
                self.assertEqual((binding["network"], binding["mac"]), (1, bip_mac(ip_b)))
                lines.wait("whoIs", low=PEER, high=PEER)  # its line may trail the I-Am it sent
                lines.stop()
            finally:
                node.quit()
            path = cap.stop()
            capture.assert_clean(path, expect_frames=3)
            rows = capture.fields(path, "ip.src", "udp.payload", "bacapp.instance_number", "bacapp.vendor_identifier",
                                  display_filter=f"ip.src == {ip_a} && bacapp.unconfirmed_service == 0")
            self.assertTrue(rows, "no I-Am of ours on the wire")
            for _, payload, instance, vendor in rows:
                self.assertTrue(payload.replace(":", "").endswith(OWN_I_AM), payload)
                self.assertEqual((instance, vendor), (str(OWN), "1417"))
            who_is_rows = capture.fields(path, "bacapp.who_is.low_limit", "bacapp.who_is.high_limit",
                                         display_filter=f"ip.src == {ip_a} && bacapp.unconfirmed_service == 8")
            self.assertIn((str(PEER), str(PEER)), who_is_rows)

    def test_requests_to_unbound_devices_are_parked_sent_once_bound_and_fail_when_never_bound(self):
        with netlab.Lab() as lab:
            a, b = lab.host("a"), lab.host("b")
            ip_a, ip_b = lab.link(a, b)
            files = tempfile.mkdtemp(prefix="zor17-files-")
            for n in range(1, 6):
                with open(os.path.join(files, f"file{n}.bin"), "wb") as f:
                    f.write(bytes(range(n, n + 40)))
            unit = start_peer(b, "zor17_unit.js", device=PEER, broadcast="10.111.1.255", files=files)
            lines = PeerLines(unit)
            node = ClientNode(a, connect_string(ip_a), device=OWN, timeouts=TIMEOUTS)
            try:
                # Nothing is bound yet: the read waits while the device is located, then goes out.
                node.command(f"read 1 {PEER} 8 {PEER} 77")
                read = node.wait("read", tag=1, timeout=15)
                self.assertEqual((read["status"], read["value"]), (-1, "ZOR17 Raum"))
                lines.wait("whoIs", low=PEER, high=PEER)  # its line may trail the I-Am it sent
                self.assertEqual(len(lines.reads(instance=PEER, property=77)), 1)

                node.command(f"readfile 2 {PEER} 1 4 10")
                read = node.wait("readfile", tag=2, timeout=CALL_BOUND)
                self.assertEqual((read["status"], read["hex"]), (-1, bytes(range(5, 15)).hex()))
                node.command(f"writefile 3 {PEER} 4 2 a1b2c3")
                write = node.wait("writefile", tag=3, timeout=CALL_BOUND)
                self.assertEqual((write["status"], write["start"]), (-1, 2))
                with open(os.path.join(files, "file4.bin"), "rb") as f:
                    self.assertEqual(f.read()[2:5], bytes.fromhex("a1b2c3"))

                # Nobody answers for 9999: ten seconds of waiting, then the call fails at once.
                node.command("read 4 9999 8 9999 77")
                read = node.wait("read", tag=4, timeout=20)
                self.assertEqual((read["status"], read["class"], read["code"]), (12, 5, 0))
                waits = node.wait_lines("waitPDU Device 9999")
                self.assertEqual(waits, [f"waitPDU Device 9999 wait: {n}" for n in range(10, 0, -1)])
                self.assertEqual(lines.reads(instance=9999), [])
            finally:
                node.quit()
                lines.stop()
                shutil.rmtree(files, ignore_errors=True)

    def test_blocking_reads_report_every_outcome_and_end_within_their_bound(self):
        with netlab.Lab() as lab:
            a, b = lab.host("a"), lab.host("b")
            ip_a, ip_b = lab.link(a, b)
            cap = capture.Capture(a, a.addresses[0][0], "udp port 47808", name="call_outcomes")
            unit = start_peer(b, "outcome_unit.js", device=PEER, broadcast="10.111.1.255")
            lines = PeerLines(unit)
            node = ClientNode(a, connect_string(ip_a), device=OWN, timeouts=TIMEOUTS)
            try:
                node.ask(f"whois {PEER} {PEER}", "whois")
                node.wait("iam", device=PEER)
                expected = {
                    77: (-1, 0, 0),    # the value
                    28: (12, 2, 32),   # Error: property, unknown-property
                    58: (12, 5, 0),    # Reject
                    79: (12, 5, 0),    # Abort
                    12: (12, 5, 0),    # no answer: the transaction's retries run out
                }
                for tag, (prop, outcome) in enumerate(expected.items(), start=1):
                    node.command(f"read {tag} {PEER} 8 {PEER} {prop}")
                    read = node.wait("read", tag=tag, timeout=CALL_BOUND)
                    self.assertEqual((read["status"], read["class"], read["code"]), outcome, prop)
                    if prop == 77:
                        self.assertEqual(read["value"], "ZOR17 Raum")
                # One retry: the silent property was asked twice, every other one once.
                self.assertEqual(len(lines.reads(property=12)), 2)
                for prop in (77, 28, 58, 79):
                    self.assertEqual(len(lines.reads(property=prop)), 1, prop)

                # The raw call gives the answer APDU itself.
                node.command(f"raw 9 {PEER} 0005210C0C{0x02000000 | PEER:08X}194D")
                raw = node.wait("raw", tag=9, timeout=CALL_BOUND)
                self.assertEqual(raw["result"], 0)
                self.assertTrue(raw["answer"].startswith("30"), raw)
                self.assertTrue(raw["answer"].endswith("750B00" + "ZOR17 Raum".encode().hex().upper() + "3F"), raw)
            finally:
                node.quit()
                lines.stop()
            path = cap.stop()
            capture.assert_clean(path, expect_frames=8)
            types = capture.fields(path, "bacapp.type", display_filter=f"ip.src == {ip_b} && bacapp")
            self.assertIn(("6",), types)
            self.assertIn(("7",), types)
            self.assertIn(("5",), types)

    def test_writing_scan_control_runs_the_who_is_windows_and_the_status_text_follows(self):
        with netlab.Lab() as lab:
            a, b = lab.host("a"), lab.host("b")
            ip_a, ip_b = lab.link(a, b)
            unit = start_peer(b, "zor17_unit.js", device=PEER, broadcast="10.111.1.255")
            lines = PeerLines(unit)
            node = ClientNode(a, connect_string(ip_a), device=OWN)
            try:
                status = node.ask("status", "status")
                self.assertEqual(status["enabled"], 0)
                time.sleep(3)  # the scan steps run every second, but the scan is off
                self.assertEqual(lines.who_is(), [])

                self.assertEqual(node.ask("scan", "scan")["result"], 0)
                texts = []
                end = time.monotonic() + 40
                while time.monotonic() < end:
                    status = node.ask("status", "status")
                    if not texts or texts[-1] != status["text"]:
                        texts.append(status["text"])
                    if status["text"] == "Device Scan Done":
                        break
                    time.sleep(0.2)
                self.assertEqual(status["enabled"], 1)
                windows = [(0, UPPER), (0, PEER - 1), (PEER + 1, OWN - 1), (OWN + 1, UPPER)]
                # On the wire a window names instances only: its top is the last instance.
                self.assertEqual(lines.who_is(), [(low, min(high, UPPER - 1)) for low, high in windows])
                for low, high in windows:
                    self.assertIn(f"Scanning Devices : Low Limit = {low} High Limit = {high}", texts)
                self.assertEqual(texts[-1], "Device Scan Done")
                self.assertEqual(node.binding(PEER)["mac"], bip_mac(ip_b))
            finally:
                node.quit()
                lines.stop()

    def test_time_synchronisation_goes_to_the_clock_seam(self):
        with netlab.Lab() as lab:
            a, b = lab.host("a"), lab.host("b")
            ip_a, ip_b = lab.link(a, b)
            node = ClientNode(a, connect_string(ip_a), device=OWN)
            try:
                sender = node_peer.start(b, "time_sync.js", ip_b, ip_a, "2030-06-15T10:20:30Z")
                sender.wait(timeout=10)
                sender.stdout.close()
                local = node.wait("clock", utc=0)
                utc = node.wait("clock", utc=1)
                self.assertEqual((utc["year"], utc["month"], utc["day"]), (2030, 6, 15))
                self.assertEqual((utc["hour"], utc["minute"], utc["second"]), (10, 20, 30))
                self.assertEqual((local["year"], local["minute"], local["second"]), (2030, 20, 30))
            finally:
                node.quit()


if __name__ == "__main__":
    netlab.require_root()
    unittest.main()
