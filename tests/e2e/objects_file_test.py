"""Trend logs, schedules and the objects file as another BACnet device meets them:
tests/e2e/tools/server_node with an objects file against @bacnet-js/client on a veth pair.
The peer creates a Trend Log and a Schedule, lets the schedule drive an Analog Value that the
log records, reads the log with ReadRange by position and by sequence number, backs the device
up, changes a setting, restores and reads back what the file held (also the file's bytes
through its File object), and starts the node again with the file. tshark dissects every frame.
A folder left by a save cut off between its renames, and a damaged file beside a good backup,
start with the peer's settings and keep them over the next starts and stops, also when the
backup cannot be written."""

import json
import os
import shutil
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e.harness import capture, netlab, node_peer  # noqa: E402
from e2e.tools.peer import connect_string  # noqa: E402
from e2e.tools.server_node import ServerNode  # noqa: E402

OWN = 4711
AV1 = {"type": 2, "instance": 1}
LOG = {"type": 20, "instance": 1}
SCHEDULE = {"type": 17, "instance": 1}
PASSWORD = "KELDOR"
REAL, UNSIGNED, BOOLEAN = 4, 2, 1


def object_id(kind, instance):
    return struct.pack(">I", kind << 22 | instance).hex()


def write(obj, prop, tag, value):
    return {"op": "writeProperty", **obj, "property": prop, "tag": tag, "value": value}


def read(obj, prop):
    return {"op": "readProperty", **obj, "property": prop}


def reinitialize(state):
    return {"op": "reinitialize", "state": state, "password": PASSWORD}


def read_range_by_sequence(sequence, count):
    """ReadRange of the log buffer (131) by sequence number, encoded by hand."""
    return {"op": "confirmedRaw", "service": 26,
            "hex": f"0c{object_id(20, 1)}1983" f"6e21{sequence:02x}31{count:02x}6f"}


class ObjectsFile(unittest.TestCase):
    def test_logs_schedules_and_a_backup_that_is_restored(self):
        folder = tempfile.mkdtemp(prefix="zor17-objects-")
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        objects = os.path.join(folder, "bacobj.bbu")
        with netlab.Lab() as lab:
            a, b = lab.host("a"), lab.host("b")
            ip_a, ip_b = lab.link(a, b)
            cap = capture.Capture(a, a.addresses[0][0], "udp port 47808", name="objects_file")
            node = ServerNode(a, connect_string(ip_a), device=OWN, objects=objects)

            def calls(*ops):
                request = {"interface": ip_b, "address": ip_a, "timeout": 3000, "calls": list(ops)}
                proc = node_peer.start(b, "server_calls.js", json.dumps(request))
                out, _ = proc.communicate(timeout=90)
                lines = [json.loads(line) for line in out.splitlines() if line.startswith("{")]
                self.assertEqual(len(lines), len(ops), out)
                return lines

            try:
                # The schedule writes its default to AV 1 at priority 16 once it changes (so the
                # references come first); a second later the log starts recording AV 1.
                references = (f"0c{object_id(17, 1)}1936" "3e" f"0c{object_id(2, 1)}1955" f"3c{object_id(8, OWN)}" "3f")
                setup = calls(
                    {"op": "createObject", **LOG}, {"op": "createObject", **SCHEDULE},
                    {"op": "confirmedRaw", "service": 15, "hex": references},
                    write(SCHEDULE, 174, REAL, 42.0),
                    {"op": "pause", "ms": 1100},
                    write(LOG, 134, UNSIGNED, 100), write(LOG, 133, BOOLEAN, True),
                    {"op": "pause", "ms": 5500},  # five intervals and a margin for a loaded machine
                    read(AV1, 85), read(SCHEDULE, 103), read(LOG, 145),
                    {"op": "readRange", **LOG, "position": 1, "count": 3},
                    read_range_by_sequence(2, 2),
                    {"op": "confirmedRaw", "service": 26, "maxApdu": 1, "hex": f"0c{object_id(20, 1)}1983"},
                )
                self.assertTrue(all("ok" in o for o in setup), setup)
                self.assertEqual(setup[8]["ok"]["values"], [{"type": REAL, "value": 42.0}])
                self.assertEqual(setup[9]["ok"]["values"], [{"type": 9, "value": 0}])  # reliable
                total = setup[10]["ok"]["values"][0]["value"]
                self.assertGreaterEqual(total, 5)  # the log-enable record and four values at least
                by_position = setup[11]["ok"]
                self.assertEqual(by_position["itemCount"], 3)
                self.assertEqual(by_position["flags"], {"bitsUsed": 3, "value": [1]})  # first-item
                # By sequence: records 2 and 3, the first sequence number 2 at the end.
                self.assertTrue(setup[12]["ok"]["hex"].endswith("5f6902"), setup[12])
                # Max-APDU code 1 takes four records: first-item and more-items are set.
                self.assertIn("3a05a04904", setup[13]["ok"]["hex"])

                restore = calls(
                    reinitialize(2), reinitialize(3),          # startbackup saves the file
                    write(SCHEDULE, 174, REAL, 7.0),
                    reinitialize(4), reinitialize(5),          # endrestore loads it again
                    read(SCHEDULE, 174), read({"type": 8, "instance": OWN}, 155),
                    {"op": "readFile", "instance": OWN, "position": 0, "count": 10},
                    {"op": "reinitialize", "state": 2, "password": "keldor"},
                    write(AV1, 22, REAL, 5.0),
                )
                self.assertTrue(all("ok" in o for o in restore[:8]), restore)
                self.assertEqual(restore[5]["ok"]["values"], [{"type": REAL, "value": 42.0}])
                self.assertEqual(restore[6]["ok"]["values"], [{"type": UNSIGNED, "value": 1}])
                # The file's own bytes: version 1.2.2 and the device instance.
                self.assertEqual(restore[7]["ok"]["hex"], b"1.2.2\0".hex() + struct.pack("<I", OWN).hex())
                self.assertEqual((restore[8].get("errorClass"), restore[8].get("errorCode")), (4, 26))
                self.assertIn("ok", restore[9])
            finally:
                node.quit()
                path = cap.stop()
            # Started again with the file: the log and the schedule are made from it, AV 1 has its setting.
            node = ServerNode(a, connect_string(ip_a), device=OWN, objects=objects)
            try:
                again = calls(read(SCHEDULE, 174), read(AV1, 22), read(LOG, 145))
            finally:
                node.quit()
        self.assertEqual([o["ok"]["values"][0]["value"] for o in again[:2]], [42.0, 5.0])
        self.assertGreaterEqual(again[2]["ok"]["values"][0]["value"], total)
        capture.assert_clean(path, expect_frames=10)
        with open(objects, "rb") as f:
            self.assertEqual(f.read(6), b"1.2.2\0")
        self.assertTrue(os.path.exists(os.path.join(folder, "bacobj.bak")))
        self.assertFalse(os.path.exists(objects + ".tmp"))
        # tshark reads the three ReadRange answers: 3, 2 and 4 records, each value one of 42.
        detail = capture.tshark(path, "-V", "-Y", f"ip.src == {ip_a} && bacapp.confirmed_service == 26")
        counts = [line.split()[-1] for line in detail.splitlines() if "item Count:" in line]
        self.assertEqual(counts, ["3", "2", "4"])
        self.assertIn("first Sequence Number: (Unsigned) 2", detail)
        self.assertEqual(detail.count("moreitems = TRUE"), 1)
        values = [line.split(":")[1].split()[0] for line in detail.splitlines() if "real value:" in line]
        self.assertGreaterEqual(len(values), 3)
        self.assertEqual(set(values), {"42.000000"})

    def test_a_save_cut_off_or_a_damaged_file_keeps_the_last_settings(self):
        folder = tempfile.mkdtemp(prefix="zor17-objects-")
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        objects, backup = os.path.join(folder, "bacobj.bbu"), os.path.join(folder, "bacobj.bak")
        with netlab.Lab() as lab:
            a, b = lab.host("a"), lab.host("b")
            ip_a, ip_b = lab.link(a, b)

            def run(*ops, wrapper=()):
                """The node started on the folder, the peer's calls and a stop: the values read."""
                node = ServerNode(a, connect_string(ip_a), device=OWN, objects=objects, wrapper=wrapper)
                try:
                    request = {"interface": ip_b, "address": ip_a, "timeout": 3000, "calls": list(ops)}
                    out, _ = node_peer.start(b, "server_calls.js", json.dumps(request)).communicate(timeout=90)
                finally:
                    node.quit()
                lines = [json.loads(line) for line in out.splitlines() if line.startswith("{")]
                self.assertTrue(len(lines) == len(ops) and all("ok" in o for o in lines), out)
                return [o["ok"]["values"][0]["value"] for o in lines if "values" in o["ok"]]

            settings = (read(SCHEDULE, 174), read(AV1, 22))
            run({"op": "createObject", **SCHEDULE}, write(SCHEDULE, 174, REAL, 42.0), write(AV1, 22, REAL, 0.5))
            # Killed between a save's renames: only the backup and the new file cut short are left.
            os.rename(objects, backup)
            with open(backup, "rb") as f, open(objects + ".tmp", "wb") as cut:
                cut.write(f.read()[:100])
            self.assertEqual(run(*settings), [42.0, 0.5])
            self.assertEqual(run(*settings), [42.0, 0.5])
            # A file damaged at its head beside a good backup, then two starts that change something.
            shutil.copyfile(objects, backup)
            with open(objects, "r+b") as f:
                f.write(bytes(40))
            self.assertEqual(run(*settings, write(AV1, 22, REAL, 0.75)), [42.0, 0.5])
            self.assertTrue(os.path.exists(os.path.join(folder, "bacobj.bad")))
            run(write(AV1, 45, REAL, 80.0))
            self.assertEqual(run(*settings, read(AV1, 45)), [42.0, 0.75, 80.0])
            # A backup the node cannot write (read-only, the node without the override; a folder): no change lost.
            os.chmod(backup, 0o444)
            no_override = ["setpriv", "--inh-caps=-dac_override", "--bounding-set=-dac_override", "--"]
            run(write(AV1, 22, REAL, 0.125), wrapper=no_override)
            self.assertEqual(run(*settings, wrapper=no_override), [42.0, 0.125])
            os.remove(backup)
            os.mkdir(backup)
            run(write(AV1, 22, REAL, 0.25))
            self.assertEqual(run(*settings), [42.0, 0.25])


if __name__ == "__main__":
    netlab.require_root()
    unittest.main()
