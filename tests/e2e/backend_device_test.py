"""The backend program as the BACnet device other devices see while it runs a job, inside
network namespaces: @bacnet-js/client reads every required property of its Device object,
finds the File object of the objects file in the object list, cannot silence it with a
DeviceCommunicationControl, and walks every property of every object as an EPICS is taken,
meeting no error code outside BACnet's enumeration. tshark dissects every answer on the wire."""

import json
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e.harness import backend_job as bj  # noqa: E402
from e2e.harness import capture, netlab, node_peer, programs  # noqa: E402

OWN = 4711
DEVICE = {"type": 8, "instance": OWN}
# The scan keeps the backend running while the peer asks.
SCAN_SECONDS = 8

# Required properties of a Device object of protocol revision 4, and those required of a
# device that segments, with the values this backend gives.
REQUIRED = {
    75: [{"type": 12, "value": DEVICE}],
    77: [{"type": 7, "value": "ZOR17-Server"}],
    79: [{"type": 9, "value": 8}],
    112: [{"type": 9, "value": 0}],
    121: [{"type": 7, "value": "Ambrel"}],
    120: [{"type": 2, "value": 1417}],
    70: [{"type": 7, "value": "ZOR17-Server"}],
    44: [{"type": 7, "value": "1.0.0.2"}],
    12: [{"type": 7, "value": "1.0.0.2"}],
    98: [{"type": 2, "value": 1}],
    139: [{"type": 2, "value": 4}],
    97: None,  # bit strings: checked for their kind
    96: None,
    76: None,  # the object list: checked below
    62: [{"type": 2, "value": 480}],
    107: [{"type": 9, "value": 0}],
    11: [{"type": 2, "value": 3000}],
    73: [{"type": 2, "value": 0}],
    30: None,  # the address bindings: checked below
    155: [{"type": 2, "value": 0}],
    10: [{"type": 2, "value": 3000}],
    167: [{"type": 2, "value": 16}],
}


# What an EPICS of the backend meets as errors, each by ReadProperty (12) and by
# ReadPropertyMultiple (14): (object type, property, service, class, code), all other. The File
# object stands for an objects file that a job does not keep: it has no size and no
# modification date. The Device's max-master and max-info-frames (64, 63) may hold no value.
# How many properties the two objects list as all of their own.
PROPERTIES = 48
FILE_ERRORS = [(10, property, service, 2, 0) for property in (42, 71) for service in (12, 14)]
DEVICE_ERRORS_ALLOWED = {(8, property, service, 2, 0) for property in (63, 64) for service in (12, 14)}


def read(property, type=8, instance=OWN):
    return {"op": "readProperty", "type": type, "instance": instance, "property": property}


def during_a_job(calls, name):
    """Runs the backend on a scan job in a lab and, while it scans, the peer's calls; returns
    (the calls' outcomes, the backend's stderr, its log, the capture, its address)."""
    with netlab.Lab() as lab:
        backend, peer_host = lab.host("backend"), lab.host("peer")
        ip_backend, ip_peer = lab.link(backend, peer_host)
        cap = capture.Capture(backend, backend.addresses[0][0], "udp port 47808", name=name)
        tmp = os.path.join(bj.work_folder(), "tmp")
        os.makedirs(tmp)
        with open(os.path.join(tmp, "config.ini"), "w") as f:
            f.write(bj.general(tmp, ip_backend, local_id=OWN) + bj.scan_section(tmp, seconds=SCAN_SECONDS))
        job = backend.popen([programs.program("ZOR17"), os.path.join(tmp, "config.ini")],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        log_path = os.path.join(tmp, "logfile.txt")

        def scanning():
            if not os.path.exists(log_path):
                return False
            with open(log_path) as f:
                return '--Function: "SCAN" started' in f.read()

        if not netlab.wait_for(scanning, timeout=10):
            job.kill()
            raise AssertionError("the backend did not start its scan")
        request = {"interface": ip_peer, "address": ip_backend, "timeout": 1500, "calls": calls}
        proc = node_peer.start(peer_host, "server_calls.js", json.dumps(request))
        out, _ = proc.communicate(timeout=60)
        _, err = job.communicate(timeout=60)
        path = cap.stop()
    with open(log_path) as f:
        log = f.read()
    return [json.loads(line) for line in out.splitlines() if line.startswith("{")], err, log, path, ip_backend


class BackendAsDevice(unittest.TestCase):
    def test_a_peer_reads_every_required_device_property_and_cannot_silence_the_backend(self):
        calls = [read(p) for p in REQUIRED] + [
            read(28, type=10), read(555, type=10),
            {"op": "communicationControl", "state": 1}, read(77),
            {"op": "communicationControl", "state": 1, "duration": 5}, read(77),
        ]
        outcomes, err, log, path, ip_backend = during_a_job(calls, "backend_device")

        self.assertEqual(len(outcomes), len(calls), outcomes)
        for (property, expected), outcome in zip(REQUIRED.items(), outcomes):
            self.assertIn("ok", outcome, f"property {property}: {outcome}")
            if expected is not None:
                self.assertEqual(outcome["ok"]["values"], expected, f"property {property}")
        values = dict(zip(REQUIRED, (o["ok"]["values"] for o in outcomes)))
        self.assertEqual([v["type"] for v in values[97] + values[96]], [8, 8])
        objects = [(v["value"]["type"], v["value"]["instance"]) for v in values[76]]
        self.assertEqual(sorted(objects), [(8, OWN), (10, OWN)])
        # The one binding is the backend's own: network 1 and its BACnet/IP address.
        mac = [int(octet) for octet in ip_backend.split(".")] + [0xBA, 0xC0]
        self.assertEqual(values[30], [{"type": 12, "value": DEVICE}, {"type": 2, "value": 1}, {"type": 6, "value": mac}])

        rest = outcomes[len(REQUIRED):]
        self.assertEqual(rest[0]["ok"]["values"], [{"type": 7, "value": "Bacnet Objects File"}])
        self.assertEqual(rest[1]["ok"]["values"], [{"type": 7, "value": ""}])
        # Acknowledged, and the device goes on answering.
        for i in (2, 4):
            self.assertEqual(rest[i], {"op": "communicationControl", "ok": {}})
            self.assertEqual(rest[i + 1]["ok"]["values"], [{"type": 7, "value": "ZOR17-Server"}])

        self.assertEqual(err, "")
        self.assertTrue(log.endswith("\n-->Successful finished\n"))
        capture.assert_clean(path, expect_frames=len(calls) * 2)
        answers = capture.fields(path, "bacapp.type", display_filter=f"ip.src == {ip_backend} && bacapp.type >= 2")
        self.assertEqual(len(answers), len(calls))
        self.assertEqual({a[0] for a in answers}, {"2", "3"})  # SimpleACKs and ComplexACKs, no Error

    def test_every_property_of_every_object_answers_a_value_or_an_error_of_bacnets_own(self):
        outcomes, err, log, path, ip_backend = during_a_job([{"op": "walk", "instance": OWN}], "backend_epics")

        self.assertEqual(len(outcomes), 1, outcomes)
        self.assertIn("ok", outcomes[0], outcomes[0])
        walk = outcomes[0]["ok"]
        self.assertEqual(sorted((o["type"], o["instance"]) for o in walk["objects"]), [(8, OWN), (10, OWN)])
        self.assertEqual(walk["properties"], PROPERTIES)
        errors = sorted((e["object"]["type"], e["property"], e["service"], e["errorClass"], e["errorCode"])
                        for e in walk["errors"])
        self.assertEqual([e for e in errors if e[0] == 10], FILE_ERRORS)
        self.assertLessEqual({e for e in errors if e[0] != 10}, DEVICE_ERRORS_ALLOWED)

        self.assertEqual(err, "")
        self.assertTrue(log.endswith("\n-->Successful finished\n"))
        capture.assert_clean(path)
        codes = capture.fields(path, "bacapp.error_code", display_filter=f"ip.src == {ip_backend} && bacapp.type == 5")
        self.assertEqual([c[0] for c in codes], ["0"] * len([e for e in errors if e[2] == 12]))


if __name__ == "__main__":
    netlab.require_root()
    unittest.main()
