"""MS/TP on serial lines made of pseudo-terminals. Three cases:

- a socat pair: the local device (tests/e2e/tools/server_node) as station 1 and a station
  written in Python from the frame table as station 2 pass the token; the Python station sends
  a Test_Request and a ReadProperty and gets their answers; in a second run it reads the
  device's Max_Master and Max_Info_Frames, which are its port's;
- a bus of three (a hub of ours): the client side of our stack (client_node, its line given as
  COM4), the local device and the Python station; the client binds the device and reads its
  properties, once through an octet of noise in its request and once after a token lost an
  octet, and the token goes round all the while.

Every stack runs inside a namespace of the test lab, even though no frame touches a network.
What each station wrote is cut into frames and dissected by tshark (link type 165): every frame
must carry two correct CRCs and nothing may be flagged."""

import contextlib
import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e.harness import mstp, netlab  # noqa: E402
from e2e.harness.mstp_bus import MstpBus  # noqa: E402
from e2e.harness.serial_line import socat_pair, socat_streams  # noqa: E402
from e2e.tools.client_node import ClientNode  # noqa: E402
from e2e.tools.mstp_station_node import MstpStation  # noqa: E402
from e2e.tools.server_node import ServerNode  # noqa: E402

DEVICE = 4711
OBJECT_NAME, MODEL_NAME = 77, 70
MAX_INFO_FRAMES_PROPERTY, MAX_MASTER_PROPERTY = 63, 64
MAX_MASTER = 7


def mstp_connect(ts, line):
    return f"TYPE=BACNETMSTP;NETWORK=1;{line};TS={ts};MAX_MASTER={MAX_MASTER};BAUDRATE=38400;"


class Mstp(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="zor17-mstp-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def assert_dissected_clean(self, frames, name):
        rows, flagged = mstp.dissect(frames, name, self.dir)
        self.assertEqual(flagged, [], f"tshark flags frames of {name}")
        self.assertEqual(len(rows), len(frames))
        for row in rows:
            crcs = row[3].split(",")
            self.assertEqual(crcs, ["1"] * len(crcs), row)  # 1: correct
        return rows

    def assert_read_property_answers(self, rows, client, server):
        """ReadProperty requests from client to server and their acknowledgements back."""
        self.assertTrue(any(r[0] == "5" and r[1:3] == [str(client), str(server)] and r[4] == "12" for r in rows))
        self.assertTrue(any(r[0] == "6" and r[1:3] == [str(server), str(client)] and r[4] == "12" for r in rows))

    @contextlib.contextmanager
    def socat_pair_lab(self, settings=""):
        """Our device as station 1 and the Python station as station 2 on a socat pair; yields
        (node, station, wire), and wire() gives the frames each side wrote once both have quit."""
        log_path = os.path.join(self.dir, "wire.log")

        def wire():
            with open(log_path) as f:
                to_theirs, to_ours = socat_streams(f.read())
            return mstp.split(to_theirs), mstp.split(to_ours)

        with netlab.Lab() as lab, open(log_path, "w") as log:
            host = lab.host("a")
            socat, ours, theirs = socat_pair(self.dir, log)
            lab.processes.append(socat)
            node = ServerNode(host, mstp_connect(1, f"DEVICE={ours}") + settings, device=DEVICE)
            station = MstpStation(host, theirs, ts=2, max_master=MAX_MASTER)
            try:
                yield node, station, wire
            finally:
                station.quit()
                node.quit()

    def test_our_device_and_a_python_station_share_a_socat_pair(self):
        with self.socat_pair_lab() as (node, station, wire):
            self.assertEqual(node.ready["loaded"], 0, node.events)
            station.wait("token", count=3, timeout=20)

            station.command("test 1 a5a50102")
            reply = station.wait("reply")
            self.assertEqual((reply["type"], reply["source"], reply["data"]), (mstp.TEST_RESPONSE, 1, "a5a50102"))

            station.command(f"send 1 {mstp.read_property_npdu(7, DEVICE, OBJECT_NAME).hex()} 1")
            reply = station.wait("reply")
            if reply["type"] == mstp.REPLY_POSTPONED:  # the answer then comes with the token
                answer = station.wait("data", source=1)["npdu"]
            else:
                self.assertEqual((reply["type"], reply["source"]), (mstp.DATA_NOT_EXPECTING_REPLY, 1))
                answer = reply["data"]
            # ComplexACK, invoke 7, ReadProperty, with the object name as a character string.
            self.assertEqual(answer[:10], "0100" + "30070c")
            self.assertIn(b"ZOR17 Server".hex(), answer)
        ours_frames, theirs_frames = wire()
        # Station 1 polled station 2 with the 8-octet frame and got the 8-octet reply.
        self.assertIn(mstp.frame(mstp.POLL_FOR_MASTER, 2, 1), [f.octets for f in ours_frames])
        self.assertIn(mstp.frame(mstp.REPLY_TO_POLL, 1, 2), [f.octets for f in theirs_frames])
        rows = self.assert_dissected_clean(ours_frames + theirs_frames, "socat_pair")
        self.assert_read_property_answers(rows, client=2, server=1)
        tokens = {(r[1], r[2]) for r in rows if r[0] == "0"}
        self.assertTrue({("1", "2"), ("2", "1")} <= tokens, tokens)

    def test_a_python_station_reads_the_ms_tp_settings_of_our_device(self):
        with self.socat_pair_lab("MAX_INFO_FRAMES=3;") as (node, station, wire):
            station.wait("token", count=3, timeout=20)
            for invoke, (prop, value) in enumerate(((MAX_MASTER_PROPERTY, MAX_MASTER),
                                                    (MAX_INFO_FRAMES_PROPERTY, 3)), start=1):
                station.command(f"send 1 {mstp.read_property_npdu(invoke, DEVICE, prop).hex()} 1")
                reply = station.wait("reply")
                answer = station.wait("data", source=1)["npdu"] if reply["type"] == mstp.REPLY_POSTPONED \
                    else reply["data"]
                # ComplexACK: Device 4711, the property, UNSIGNED value.
                self.assertEqual(answer, f"010030{invoke:02x}0c0c02001267 19{prop:02x} 3e21{value:02x}3f"
                                 .replace(" ", ""))
        ours_frames, theirs_frames = wire()
        rows = self.assert_dissected_clean(ours_frames + theirs_frames, "settings")
        self.assert_read_property_answers(rows, client=2, server=1)

    def test_two_of_our_stacks_and_a_python_station_share_a_bus_through_noise_and_a_lost_octet(self):
        with netlab.Lab() as lab, MstpBus(3) as bus:
            a, b, c = lab.host("a"), lab.host("b"), lab.host("c")
            os.environ["ZOR17_COM4"] = bus.path(0)
            try:
                client = ClientNode(a, mstp_connect(1, "PORT=4"), device=1001, timeouts=(3000, 3000, 2))
            finally:
                del os.environ["ZOR17_COM4"]
            server = ServerNode(b, mstp_connect(2, f"DEVICE={bus.path(1)}"), device=DEVICE)
            station = MstpStation(c, bus.path(2), ts=5, max_master=MAX_MASTER)
            try:
                self.assertEqual((client.ready["loaded"], server.ready["loaded"]), (0, 0))
                station.wait("token", count=5, timeout=30)

                client.command(f"read 1 {DEVICE} 8 {DEVICE} {OBJECT_NAME}")
                read = client.wait("read", tag=1, timeout=20)
                self.assertEqual((read["status"], read["value"]), (-1, "ZOR17 Server"))

                # An octet of noise in the client's next request: the request is lost on the
                # wire, and the client's transaction sends it again.
                bus.damage("noise", mstp.DATA_EXPECTING_REPLY, source=0)
                invalid_before = station.count("invalid")
                client.command(f"read 2 {DEVICE} 8 {DEVICE} {MODEL_NAME}")
                read = client.wait("read", tag=2, timeout=20)
                self.assertEqual((read["status"], read["value"]), (-1, "ZOR17_BACnet"))
                self.assertEqual([kind for kind, _ in bus.damage_done()], ["noise"])
                self.assertGreater(station.count("invalid"), invalid_before)

                # A token that loses an octet on its way: it is passed again and goes on round.
                bus.damage("drop", mstp.TOKEN)
                self.assertTrue(netlab.wait_for(lambda: len(bus.damage_done()) == 2, timeout=10))
                station.wait("token", count=station.count("token") + 5, timeout=30)
                client.command(f"read 3 {DEVICE} 8 {DEVICE} {OBJECT_NAME}")
                read = client.wait("read", tag=3, timeout=20)
                self.assertEqual((read["status"], read["value"]), (-1, "ZOR17 Server"))
            finally:
                station.quit()
                client.quit()
                server.quit()
            frames = bus.frames()
        self.assertTrue(all(frames), "every station wrote frames")
        rows = self.assert_dissected_clean([f for per_station in frames for f in per_station], "bus_of_three")
        self.assert_read_property_answers(rows, client=1, server=2)
        tokens = {(r[1], r[2]) for r in rows if r[0] == "0"}
        self.assertTrue({("1", "2"), ("2", "5"), ("5", "1")} <= tokens, tokens)
        # Both stacks announced themselves with an I-Am broadcast.
        i_ams = {r[1] for r in rows if r[5] == "0" and r[2] == "255"}
        self.assertEqual(i_ams, {"1", "2"})


if __name__ == "__main__":
    netlab.require_root()
    unittest.main()
