"""The local device answering another BACnet device: tests/e2e/tools/server_node (the stack with
its object database and every confirmed handler) against @bacnet-js/client on a veth pair. The
peer reads and writes the Device object, reads and writes File objects (the bytes on disk are
checked), creates and deletes objects, finds the device answering after a DeviceCommunicationControl,
and asks for a restart with the right and wrong password. tshark dissects every answer on the wire."""

import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e.harness import netlab  # noqa: E402
from e2e.tools.server_node import ServerLab  # noqa: E402

OWN = 4711
DEVICE = {"type": 8, "instance": OWN}
# Bits of the Device's protocol-services-supported.
SERVICES_SUPPORTED = [*range(0, 13), *range(14, 18), 20, *range(26, 37), 39]


def counting(n, first=0):
    return bytes((first + i) & 0xFF for i in range(n))


def bit_bytes(bits, count):
    """The octets @bacnet-js/client gives for a bit string: bit n is bit n % 8 of octet n // 8."""
    out = [0] * ((count + 7) // 8)
    for bit in bits:
        out[bit // 8] |= 1 << (bit % 8)
    return out


class Lab(ServerLab):
    def __init__(self, test, name, files=(), read_only=()):
        super().__init__(test, name, device=OWN, files=files, read_only=read_only)


def read(property, instance=OWN, type=8, **extra):
    return {"op": "readProperty", "type": type, "instance": instance, "property": property, **extra}


class ServerServices(unittest.TestCase):
    def assertError(self, outcome, error_class, error_code):
        self.assertEqual((outcome.get("errorClass"), outcome.get("errorCode")), (error_class, error_code), outcome)

    def test_device_object_is_read_and_written_with_exact_errors(self):
        lab = Lab(self, "device_properties")
        try:
            out = lab.calls(
                read(77), read(70), read(120), read(97), read(76),
                {"op": "readPropertyMultiple", "specs": [{**DEVICE, "properties": [77, 70, 120, 97]},
                                                         {"type": 0, "instance": 99, "properties": [8]}]},
                {"op": "writeProperty", **DEVICE, "property": 153, "tag": 2, "value": 300},
                read(153),
                {"op": "writeProperty", **DEVICE, "property": 77, "tag": 7, "value": "neu"},
                {"op": "writeProperty", **DEVICE, "property": 153, "tag": 4, "value": 1.5},
                {"op": "writeProperty", **DEVICE, "property": 153, "tag": 2, "value": 70000},
                read(85, type=0, instance=99),
                read(85),
            )
            values = [o["ok"]["values"] for o in out[:5]]
            self.assertEqual(values[0], [{"type": 7, "value": "ZOR17 Server"}])
            self.assertEqual(values[1], [{"type": 7, "value": "ZOR17_BACnet"}])
            self.assertEqual(values[2], [{"type": 2, "value": 1417}])
            self.assertEqual(values[3][0]["type"], 8)
            self.assertEqual(values[3][0]["value"], {"bitsUsed": 40, "value": bit_bytes(SERVICES_SUPPORTED, 40)})
            objects = [(v["value"]["type"], v["value"]["instance"]) for v in values[4]]
            # File OWN stands for the objects file, as on every device the stack starts.
            self.assertEqual(objects, [(2, 1), (5, 1), (8, OWN), (10, OWN), (19, 1)])

            self.assertIn("ok", out[5], out[5])
            device, missing = out[5]["ok"]
            self.assertEqual(device["object"], DEVICE)
            self.assertEqual([r["property"] for r in device["results"]], [77, 70, 120, 97])
            self.assertEqual(device["results"][0]["values"], values[0])
            self.assertEqual(device["results"][2]["values"], values[2])
            self.assertEqual(missing["object"], {"type": 0, "instance": 99})
            self.assertEqual(missing["results"][0]["property"], 8)
            self.assertEqual(missing["results"][0]["values"][0]["value"], {"errorClass": 1, "errorCode": 31})

            self.assertEqual(out[6], {"op": "writeProperty", "ok": {}})
            self.assertEqual(out[7]["ok"]["values"], [{"type": 2, "value": 300}])
            self.assertEqual(lab.node.ask("read 8 4711 153", "read")["value"], 300)
            self.assertError(out[8], 2, 40)   # write-access-denied
            self.assertError(out[9], 2, 9)    # invalid-data-type
            self.assertError(out[10], 2, 37)  # value-out-of-range
            self.assertError(out[11], 1, 31)  # unknown-object
            self.assertError(out[12], 2, 32)  # unknown-property
        finally:
            path = lab.close()
        rows = lab.answers(path, "bacapp.error_class", "bacapp.error_code")
        self.assertEqual(len(rows), 13)
        self.assertEqual([r[:2] for r in rows[:8]], [("3", "12")] * 5 + [("3", "14"), ("2", "15"), ("3", "12")])
        self.assertEqual(rows[8:], [("5", "15", "2", "40"), ("5", "15", "2", "9"), ("5", "15", "2", "37"),
                                    ("5", "12", "1", "31"), ("5", "12", "2", "32")])

    def test_file_objects_are_read_and_written_on_disk(self):
        files = tempfile.mkdtemp(prefix="zor17-files-")
        paths = {n: os.path.join(files, f"file{n}.bin") for n in (1, 2, 3)}
        for n, data in ((1, counting(60)), (2, counting(3000)), (3, counting(8))):
            with open(paths[n], "wb") as f:
                f.write(data)

        def on_disk(n):
            with open(paths[n], "rb") as f:
                return f.read()

        def read_file(instance, position, count):
            return {"op": "readFile", "instance": instance, "position": position, "count": count}

        def write_file(instance, position, data):
            return {"op": "writeFile", "instance": instance, "position": position, "hex": data}

        lab = Lab(self, "file_objects", files=[(1, paths[1]), (2, paths[2]), (3, paths[3]),
                                               (4, os.path.join(files, "missing", "file4.bin"))], read_only=[3])
        try:
            out = lab.calls(read_file(1, 0, 100), read_file(1, 10, 20), read_file(1, 40, 20), read_file(1, 60, 10),
                            read_file(9, 0, 10))
            self.assertEqual(out[0]["ok"], {"endOfFile": True, "position": 0, "hex": counting(60).hex()})
            self.assertEqual(out[1]["ok"], {"endOfFile": False, "position": 10, "hex": counting(20, 10).hex()})
            self.assertEqual(out[2]["ok"], {"endOfFile": True, "position": 40, "hex": counting(20, 40).hex()})
            self.assertEqual(out[3]["ok"], {"endOfFile": True, "position": 60, "hex": ""})
            self.assertError(out[4], 1, 17)

            # A file larger than one answer comes in pieces that end exactly at its end.
            whole, position, pieces = b"", 0, []
            for _ in range(4):
                piece = lab.calls(read_file(2, position, 3000))[0]["ok"]
                pieces.append((len(piece["hex"]) // 2, piece["endOfFile"]))
                whole += bytes.fromhex(piece["hex"])
                position += len(piece["hex"]) // 2
                if piece["endOfFile"]:
                    break
            self.assertEqual(pieces, [(1451, False), (1451, False), (98, True)])
            self.assertEqual(whole, counting(3000))

            self.assertEqual(lab.calls(write_file(1, 0, "aabb"))[0]["ok"], {"position": 0})
            self.assertEqual(on_disk(1), bytes.fromhex("aabb"))
            self.assertEqual(lab.calls(write_file(1, -1, "ccdd"))[0]["ok"], {"position": 2})
            self.assertEqual(on_disk(1), bytes.fromhex("aabbccdd"))
            # From inside the file past its end.
            self.assertEqual(lab.calls(write_file(1, 1, "eeff0011223344"))[0]["ok"], {"position": 1})
            self.assertEqual(on_disk(1), bytes.fromhex("aaeeff0011223344"))
            self.assertEqual(lab.calls(write_file(1, 8, "55"))[0]["ok"], {"position": 8})
            self.assertEqual(on_disk(1), bytes.fromhex("aaeeff001122334455"))

            out = lab.calls(write_file(1, 20, "99"), write_file(3, 0, "00"), write_file(4, 0, "00"),
                            read_file(1, 0, 100))
            self.assertError(out[0], 5, 11)  # start beyond the end
            self.assertError(out[1], 5, 5)   # a read-only File object
            self.assertError(out[2], 1, 0)   # the file cannot be opened
            self.assertEqual(out[3]["ok"], {"endOfFile": True, "position": 0, "hex": "aaeeff001122334455"})
            self.assertEqual(on_disk(1), bytes.fromhex("aaeeff001122334455"))
            self.assertEqual(on_disk(3), counting(8))
            self.assertFalse(os.path.exists(os.path.join(files, "missing")))
        finally:
            path = lab.close()
            shutil.rmtree(files, ignore_errors=True)
        rows = lab.answers(path, "bacapp.error_class", "bacapp.error_code")
        self.assertEqual(rows[4], ("5", "6", "1", "17"))
        self.assertIn(("3", "7"), [r[:2] for r in rows])
        self.assertEqual(rows[-4:-1], [("5", "7", "5", "11"), ("5", "7", "5", "5"), ("5", "7", "1", "0")])

    def test_creatable_objects_come_and_go(self):
        lab = Lab(self, "create_delete")
        try:
            out = lab.calls({"op": "createObject", "type": 6, "instance": 3},
                            {"op": "createObject", "type": 17, "instance": 1},
                            {"op": "createObject", "type": 20, "instance": 2})
            self.assertEqual([o.get("ok") for o in out], [{}, {}, {}])
            listed = lab.node.ask("objects", "objects")["list"]
            for entry in ("6:3", "17:1", "20:2"):
                self.assertIn(entry, listed)
            out = lab.calls({"op": "createObject", "type": 6, "instance": 3},
                            {"op": "createObject", "type": 2, "instance": 5},
                            {"op": "deleteObject", "type": 6, "instance": 3},
                            {"op": "deleteObject", "type": 6, "instance": 3},
                            {"op": "deleteObject", **DEVICE},
                            {"op": "deleteObject", "type": 2, "instance": 1},
                            read(77, type=6, instance=3))
            self.assertIn("error", out[0])
            self.assertIn("error", out[1])
            self.assertEqual(out[2], {"op": "deleteObject", "ok": {}})
            self.assertError(out[3], 1, 17)
            self.assertError(out[4], 1, 23)  # object-deletion-not-permitted
            self.assertError(out[5], 1, 23)
            self.assertError(out[6], 1, 31)
            listed = lab.node.ask("objects", "objects")["list"]
            self.assertNotIn("6:3", listed)
            self.assertIn("17:1", listed)
            self.assertIn("2:1", listed)
        finally:
            path = lab.close()
        rows = lab.answers(path, "bacapp.error_class", "bacapp.error_code")
        self.assertEqual([r[:2] for r in rows[:3]], [("3", "10")] * 3)
        # The CreateObject errors name no initial value as the culprit (tshark reads the class and code).
        self.assertEqual(rows[3:5], [("5", "10", "1", "24"), ("5", "10", "1", "4")])
        self.assertEqual(rows[5], ("2", "11", "", ""))

    def test_communication_control_is_acknowledged_and_reinitialize_wants_the_password(self):
        lab = Lab(self, "device_management")
        try:
            # No peer silences the device: the request is acknowledged and changes nothing.
            out = lab.calls({"op": "communicationControl", "state": 1}, read(77), timeout=1500)
            self.assertEqual(out[0], {"op": "communicationControl", "ok": {}})
            self.assertEqual(out[1]["ok"]["values"], [{"type": 7, "value": "ZOR17 Server"}])
            self.assertEqual(lab.node.ask("state", "state")["communication"], 0)

            out = lab.calls({"op": "reinitialize", "state": 1, "password": "KELDOR"},
                            {"op": "reinitialize", "state": 0, "password": "keldor"},
                            {"op": "reinitialize", "state": 0},
                            {"op": "communicationControl", "state": 0},
                            read(77))
            self.assertEqual(out[0], {"op": "reinitialize", "ok": {}})
            self.assertEqual(lab.node.wait("reinitialize")["state"], 1)
            self.assertError(out[1], 4, 26)  # password-failure
            self.assertError(out[2], 4, 26)
            self.assertEqual(out[3], {"op": "communicationControl", "ok": {}})
            self.assertEqual(out[4]["ok"]["values"], [{"type": 7, "value": "ZOR17 Server"}])
            self.assertEqual(lab.node.ask("state", "state")["communication"], 0)
            self.assertEqual([e for e in lab.node.events if e.get("event") == "reinitialize"], [{"event": "reinitialize",
                                                                                               "state": 1}])
        finally:
            path = lab.close()
        rows = lab.answers(path, "bacapp.error_class", "bacapp.error_code")
        self.assertEqual(rows, [("2", "17", "", ""), ("3", "12", "", ""), ("2", "20", "", ""), ("5", "20", "4", "26"),
                                ("5", "20", "4", "26"), ("2", "17", "", ""), ("3", "12", "", "")])


if __name__ == "__main__":
    netlab.require_root()
    unittest.main()
