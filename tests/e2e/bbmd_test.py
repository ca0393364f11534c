"""BACnet/IP ports as broadcast management devices: the BDT and FDT functions answered by a
BBMD (bdt.txt, Read-BDT, Read-FDT, a registration expiring on the peer's injected clock),
broadcasts distributed across three subnets joined by a router namespace, and two BBMDs on one
LAN that hear each other's broadcasts."""

import json
import os
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e.harness import capture, netlab, node_peer  # noqa: E402
from e2e.tools.peer import Peer, bip_mac, connect_string  # noqa: E402

CLIENT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "tools", "bvlc_client.py")


def bvlc_client(host, target_ip, *frames, bind_port=47809):
    out = host.run(["/usr/bin/python3", CLIENT, host.ip, str(bind_port), target_ip, "47808", *frames]).stdout
    return json.loads(out)


def bdt_line(ip, port=47808, mask="255.255.255.255"):
    return bip_mac(ip, port).upper() + "".join(f"{int(o):02X}" for o in mask.split("."))


def start_bbmds(hosts, bdts, folder):
    """A BBMD in each host whose bdt.txt lists those peers."""
    peers = {}
    for (name, host), bdt in zip(hosts.items(), bdts):
        os.mkdir(os.path.join(folder, name))
        with open(os.path.join(folder, name, "bdt.txt"), "wb") as out:
            out.write("".join(f"{bdt_line(ip)}\r" for ip in bdt).encode())
        peers[name] = Peer(host, connect_string(host.ip, BBMDMAXFOREIGNDEVICES=4), cwd=os.path.join(folder, name))
    return peers


class BbmdTables(unittest.TestCase):
    def test_bdt_and_fdt_functions_and_a_registration_that_expires(self):
        with netlab.Lab() as lab:
            a, b = lab.host("a"), lab.host("b")
            ip_a, ip_b = lab.link(a, b)
            cap = capture.Capture(b, b.addresses[0][0], "udp src port 47808", name="bbmd_tables")
            bbmd = Peer(a, connect_string(ip_a, BBMDMAXFOREIGNDEVICES=2), manual_clock=True)
            bdt_txt = os.path.join(bbmd.cwd, "bdt.txt")
            try:
                # The table starts with the BBMD itself.
                self.assertEqual(bvlc_client(b, ip_a, "81020004"), [["8103000e" + bdt_line(ip_a).lower()]])

                table = bdt_line(ip_a) + bdt_line(ip_b, mask="255.255.255.0")
                answers = bvlc_client(b, ip_a, "81010018" + table, "81020004", "81010004", "8101000d" + table[:18])
                self.assertEqual(answers, [["810000060000"], ["81030018" + table.lower()],
                                           ["810000060010"], ["810000060010"]])
                with open(bdt_txt, "rb") as f:
                    self.assertEqual(f.read(), f"{bdt_line(ip_a)}\r{bdt_line(ip_b, mask='255.255.255.0')}\r".encode())

                fd = bip_mac(ip_b, 47809)
                answers = bvlc_client(b, ip_a, "810500060064", "81060004", "8105000500", "810800090a6f0102ba")
                self.assertEqual(answers, [["810000060000"], ["8107000e" + fd + "00640082"],
                                           ["810000060030"], ["810000060050"]])

                self.assertTrue(bbmd.call("tick 129", "ticked")["ok"])
                self.assertEqual(bvlc_client(b, ip_a, "81060004"), [["8107000e" + fd + "00640001"]])
                self.assertTrue(bbmd.call("tick 1", "ticked")["ok"])
                self.assertEqual(bvlc_client(b, ip_a, "81060004"), [["81070004"]])

                answers = bvlc_client(b, ip_a, "81050006003c", "8108000a" + fd, "8108000a" + fd, "81060004")
                self.assertEqual(answers, [["810000060000"], ["810000060000"], ["810000060050"], ["81070004"]])
            finally:
                bbmd.quit()
            path = cap.stop()
            capture.assert_clean(path, expect_frames=14)

    def test_a_bbmd_starts_with_the_peers_of_its_bdt_txt(self):
        with netlab.Lab() as lab:
            a, b = lab.host("a"), lab.host("b")
            ip_a, ip_b = lab.link(a, b)
            with tempfile.TemporaryDirectory(prefix="zor17-bdt-") as cwd:
                with open(os.path.join(cwd, "bdt.txt"), "wb") as f:
                    f.write(f"{bdt_line(ip_b).lower()}\r\n{bdt_line(ip_a)}\rshort\r{bdt_line('10.111.9.9')}".encode())
                bbmd = Peer(a, connect_string(ip_a, BBMDMAXFOREIGNDEVICES=1), cwd=cwd)
                try:
                    self.assertEqual(bvlc_client(b, ip_a, "81020004"),
                                     [["81030018" + (bdt_line(ip_a) + bdt_line(ip_b)).lower()]])
                finally:
                    bbmd.quit()


class Distribution(unittest.TestCase):
    """BBMD a with station s on 10.111.1.0/24 and BBMD b with device d on 10.111.2.0/24, each BBMD
    with the other in its BDT, and a foreign device f on 10.111.3.0/24 registered with a; router r
    joins the three subnets."""

    def test_broadcasts_reach_the_peer_network_and_the_foreign_device_once(self):
        with netlab.Lab() as lab:
            a, b, f, r, s, d = (lab.host(name) for name in "abfrsd")
            ip_a, r_a, ip_s = lab.lan(a, r, s)
            ip_b, r_b, _ = lab.lan(b, r, d)
            ip_f, r_f = lab.link(f, r)
            lab.enable_forwarding(r)
            for host, via in ((a, r_a), (b, r_b), (f, r_f), (s, r_a), (d, r_b)):
                lab.route(host, "10.111.0.0/16", via)
            captures = [capture.Capture(r, ifname, "udp", name=f"router_{ifname}") for ifname, _, _ in r.addresses]

            peers = {}
            folders = tempfile.TemporaryDirectory(prefix="zor17-bbmd-")
            try:
                peers = start_bbmds({"a": a, "b": b}, ([ip_b], [ip_a]), folders.name)
                peers["f"] = Peer(f, connect_string(ip_f, BBMDIPADDRESS=ip_a, FOREIGNDEVICEEXPIRYTIME=60))
                self.assertTrue(netlab.wait_for(lambda: peers["f"].status()[0]["registered"] == 1, timeout=15))

                cases = (("f", "100809011901"), ("b", "100809021902"), ("a", "100809031903"))
                for sender, apdu in cases:
                    self.assertEqual(peers[sender].call(f"broadcast {apdu}", "sent")["result"], 0)
                    origin = bip_mac({"a": ip_a, "b": ip_b, "f": ip_f}[sender])
                    for name, p in peers.items():
                        rx = p.wait("rx", apdu=apdu)
                        self.assertEqual((rx["src_mac"], rx["dnet"]), (origin, 65535), f"{name} from {sender}")
                time.sleep(0.5)
                for sender, apdu in cases:
                    for name, p in peers.items():
                        self.assertEqual(len(p.all("rx", apdu=apdu)), 1, f"{name} hears {sender} once")

                # A station's Who-Is finds the device on the other subnet; its I-Am comes back, re-broadcast by a.
                device = node_peer.start_ready(d, "analog_device.js", {"broadcast": "10.111.2.255"})
                who_is = node_peer.start(s, "who_is.js", "0.0.0.0", "10.111.1.255", 1234, 1234, 1500)
                out = who_is.communicate(timeout=10)[0]
                device.stdout.close()
                self.assertEqual([json.loads(line) for line in out.splitlines()],
                                 [{"sent": "whoIs"}, {"iAm": 1234, "address": ip_a}])
            finally:
                for p in peers.values():
                    p.quit()
                folders.cleanup()

            functions = set()
            for cap in captures:
                path = cap.stop()
                capture.assert_clean(path, expect_frames=1)
                functions |= {row[0] for row in capture.fields(path, "bvlc.function") if row[0]}
            # Registration and its result, forwards, the foreign device's distribute, local broadcasts.
            self.assertTrue({"0x00", "0x04", "0x05", "0x09", "0x0b"} <= functions, functions)


class OneLan(unittest.TestCase):
    """BBMDs a and b and a plain station s on one LAN; s also sends raw frames from port 47809."""

    def test_two_bbmds_pass_on_a_broadcast_a_bounded_number_of_times(self):
        for listed in (False, True):
            with netlab.Lab() as lab, tempfile.TemporaryDirectory(prefix="zor17-lan-") as folder:
                a, b, s = lab.host("a"), lab.host("b"), lab.host("s")
                ip_a, ip_b, ip_s = lab.lan(a, b, s)
                peers = start_bbmds({"a": a, "b": b}, ([ip_b], [ip_a]) if listed else ([], []), folder)
                peers["s"] = Peer(s, connect_string(ip_s))
                raw, stranger, lan = bip_mac(ip_s, 47809), bip_mac("10.111.1.99"), "10.111.1.255"
                # target, frames, the answers to the raw sender, the NPDU's origin, and how often a, b
                # and s hear it without and with the BBMDs listing each other (listed, a BBMD also hears
                # the other's forward of a local broadcast or of a foreign device's).
                cases = (
                    (lan, ["81040012" + stranger + "0100100809071907"], [[]], stranger, [(1, 1, 1), (1, 1, 1)]),
                    (lan, ["810b000c0100100809091909"], [[]], raw, [(1, 1, 1), (2, 2, 1)]),
                    (ip_a, ["810500060078", "8109000c0100100809081908"], [["810000060000"], []], raw,
                     [(1, 1, 1), (1, 2, 1)]),
                )
                try:
                    for target, frames, answers, origin, heard in cases:
                        self.assertEqual(bvlc_client(s, target, *frames), answers, frames)
                        for name, count in zip("abs", heard[listed]):
                            rx = lambda: [e["src_mac"] for e in peers[name].all("rx", apdu=frames[-1][-12:])]
                            netlab.wait_for(lambda: len(rx()) >= count, timeout=5)
                            self.assertEqual(rx(), [origin] * count, (name, listed, frames))
                finally:
                    for p in peers.values():
                        p.quit()


if __name__ == "__main__":
    netlab.require_root()
    unittest.main()
