"""Point-to-point links between two of our stacks, each inside a namespace of the test lab:

- on a socat pair: the client side of the stack (client_node, CONNECT=1) calls the local device
  (server_node, waiting). With the right password the client binds the device over the link,
  reads its name and hangs up; with a wrong one the device answers the Connect Response with a
  Disconnect Request and its side of the link never comes up.
- through a fake Hayes modem: the client wakes the modem (an ERROR first, so it hangs up with
  "+++" between guard times), dials, reads; when the carrier drops both sides notice, the
  client dials again and reads once more.

The frames are cut back out of the recorded streams. tshark has no point-to-point dissector, so
each data frame's NPDU goes into an MS/TP frame of a link-type-165 capture, and tshark decodes
the NPDU and APDU inside with nothing flagged."""

import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e.harness import mstp, netlab, ptp  # noqa: E402
from e2e.harness.fake_modem import FakeModem  # noqa: E402
from e2e.harness.serial_line import socat_pair, socat_streams  # noqa: E402
from e2e.tools.client_node import ClientNode  # noqa: E402
from e2e.tools.server_node import ServerNode  # noqa: E402

DEVICE = 4711
OBJECT_NAME = 77


def ptp_connect(line, **keys):
    return f"TYPE=BACNETPTP;NETWORK=1;{line};BAUDRATE=38400;" + "".join(f"{k}={v};" for k, v in keys.items())


def count(stream, frame_type):
    return ptp.types(ptp.split(stream)).count(frame_type)


class Ptp(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="zor17-ptp-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def read_name(self, client, tag):
        client.command(f"read {tag} {DEVICE} 8 {DEVICE} {OBJECT_NAME}")
        read = client.wait("read", tag=tag, timeout=30)
        self.assertEqual((read["status"], read["value"]), (-1, "ZOR17 Server"))

    def start(self, lab, caller_line, answerer_line, **caller_keys):
        server = ServerNode(lab.host("b"), ptp_connect(answerer_line, PASSWORD="secret"), device=DEVICE)
        client = ClientNode(lab.host("a"), ptp_connect(caller_line, CONNECT=1, **caller_keys), device=1001,
                            timeouts=(3000, 3000, 2))
        self.assertEqual((client.ready["loaded"], server.ready["loaded"]), (0, 0))
        return client, server

    def on_socat_pair(self, password, body):
        """Runs both stacks on a socat pair and `body(client, streams)`; the streams at the end:
        (client to device, device to client), each cut into frames."""
        log_path = os.path.join(self.dir, "wire.log")
        with netlab.Lab() as lab, open(log_path, "w") as log:
            socat, ours, theirs = socat_pair(self.dir, log)
            lab.processes.append(socat)
            client, server = self.start(lab, f"DEVICE={ours}", f"DEVICE={theirs}", PASSWORD=password)
            try:
                body(client, lambda: self.socat_log(log_path))
            finally:
                client.quit()
                server.quit()
        return [ptp.split(s) for s in self.socat_log(log_path)]

    @staticmethod
    def socat_log(path):
        with open(path) as f:
            return socat_streams(f.read())

    def test_the_right_password_connects_carries_a_confirmed_request_and_hangs_up(self):
        def body(client, streams):
            up = lambda: all(count(s, ptp.HEARTBEAT_XON) for s in streams())  # noqa: E731
            self.assertTrue(netlab.wait_for(up, timeout=20))
            self.read_name(client, 1)

        sent, answered = self.on_socat_pair("secret", body)
        self.assertTrue(all(good for _, _, good in sent + answered))
        self.assertEqual(sent[:2], [("trigger", b"", True), (ptp.CONNECT_RESPONSE, b"secret", True)])
        self.assertEqual(answered[0], (ptp.CONNECT_REQUEST, b"", True))
        self.assertEqual((sent[-1][0], answered[-1][0]), (ptp.DISCONNECT_REQUEST, ptp.DISCONNECT_RESPONSE))
        # A clean line: every frame goes once, so the sequence bits and acknowledgements alternate.
        for frames, first, acks in ((sent, ptp.DATA_0, answered), (answered, ptp.DATA_0, sent)):
            data = [t for t in ptp.types(frames) if t in (ptp.DATA_0, ptp.DATA_1)]
            self.assertGreaterEqual(len(data), 2)
            self.assertEqual(data, [first + i % 2 for i in range(len(data))])
            acked = [t for t in ptp.types(acks) if t in (ptp.DATA_ACK_0_XON, ptp.DATA_ACK_1_XON)]
            self.assertEqual(acked, [ptp.DATA_ACK_0_XON + i % 2 for i in range(len(data))])

        capture = ptp.as_mstp(sent, 1, 2) + ptp.as_mstp(answered, 2, 1)
        rows, flagged = mstp.dissect(capture, "ptp_data", self.dir)
        self.assertEqual(flagged, [])
        self.assertEqual(len(rows), len(capture))
        self.assertTrue(any(r[0] == "5" and r[1:3] == ["1", "2"] and r[4] == "12" for r in rows), rows)
        self.assertTrue(any(r[0] == "6" and r[1:3] == ["2", "1"] and r[4] == "12" for r in rows), rows)
        self.assertTrue({("1", "8"), ("2", "0")} <= {(r[1], r[5]) for r in rows}, rows)  # Who-Is, I-Am

    def test_a_wrong_password_is_answered_with_a_disconnect(self):
        def body(client, streams):
            refused = lambda: count(streams()[1], ptp.DISCONNECT_REQUEST) >= 2  # noqa: E731
            self.assertTrue(netlab.wait_for(refused, timeout=20))

        sent, answered = self.on_socat_pair("wrong", body)
        self.assertIn((ptp.CONNECT_RESPONSE, b"wrong", True), sent)
        self.assertEqual(ptp.types(answered)[:2], [ptp.CONNECT_REQUEST, ptp.DISCONNECT_REQUEST])
        # The device's side never came up: no heartbeat, no data from it.
        self.assertFalse({ptp.HEARTBEAT_XON, ptp.DATA_0, ptp.DATA_1} & set(ptp.types(answered)))

    def test_a_dialled_link_survives_a_dropped_carrier(self):
        with netlab.Lab() as lab, FakeModem(guard=0.25, at_errors=1) as modem:
            client, server = self.start(lab, f"DEVICE={modem.caller_path}", f"DEVICE={modem.answerer_path}",
                                        PASSWORD="secret", DIALSTRING="ATDT5551234", GUARDTIME=400)
            try:
                heard = lambda: count(modem.streams()[1], ptp.HEARTBEAT_XON)  # noqa: E731
                self.assertTrue(netlab.wait_for(lambda: heard() >= 1, timeout=30))
                self.read_name(client, 1)
                before = heard()
                modem.drop_carrier()
                self.assertTrue(netlab.wait_for(lambda: count(modem.streams()[1], ptp.CONNECT_REQUEST) == 2, 30))
                self.assertTrue(netlab.wait_for(lambda: heard() > before, timeout=10))
                self.read_name(client, 2)
            finally:
                client.quit()
                server.quit()
        dial = [("AT", "OK"), ("ATDT5551234", "CONNECT 9600")]
        self.assertEqual(modem.commands, [("AT", "ERROR"), ("+++", "guarded"), ("ATH", "OK")] + dial + dial)
        sent, answered = (ptp.split(s) for s in modem.streams())
        self.assertEqual(ptp.types(sent).count("trigger"), 2)
        self.assertTrue(all(good for _, _, good in sent + answered))


if __name__ == "__main__":
    netlab.require_root()
    unittest.main()
