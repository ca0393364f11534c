"""Many things at once, against the whole stack in network namespaces:

- tests/e2e/tools/api_host with 300 devices set up at its station: a global Who-Is (raw BVLC,
  tests/e2e/tools/bvlc_client.py) is answered by 301 I-Ams, the own device's among them, while
  a reader (bench/readproperty_load) at the same station loses no answer;
- the same host with 200 analog-values of its own: 200 confirmed COV subscriptions made in one
  burst by @bacnet-js/client (tests/peers/server_calls.js) get 200 initial notifications, and
  WritePropertyMultiples changing all 200 get 200 more; with a confirmed subscriber to all 200 that
  stops answering, a live subscriber to 10 of them still gets every change, and the silent one,
  answering again, ends with every object's latest value;
- tests/e2e/tools/server_node with BACnet/IP ports on networks 1 and 2: an unconfirmed COV
  subscriber and an unconfirmed Notification Class recipient on network 1 get one copy of each
  notification, 300 unconfirmed COV subscriptions to one object get 300 notifications each
  time, and a Notification Class with 300 unconfirmed recipients reaches all 300."""

import json
import os
import re
import struct
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e.harness import capture, netlab, node_peer, programs  # noqa: E402
from e2e.tools.api_client import ApiClient, string, u32  # noqa: E402
from e2e.tools.api_host import ApiHost, api_connect_string  # noqa: E402
from e2e.tools.peer import connect_string  # noqa: E402
from e2e.tools.server_node import ServerNode  # noqa: E402

OWN = 4711
ANALOG_VALUE = 2
BVLC_CLIENT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "tools", "bvlc_client.py")
WHO_IS_ALL = "810b000c0120ffff00ff1008"
I_AM = re.compile(r"1000c4([0-9a-f]{8})")
# Analog-value 1 reports its high limit at once: time delay 0, high limit 50, deadband 2, the
# high limit and every transition enabled.
EVENT_SETTINGS = ((113, 2, 0), (45, 4, 50.0), (25, 4, 2.0), (52, 8, {"bitsUsed": 2, "value": [2]}),
                  (35, 8, {"bitsUsed": 3, "value": [7]}))


def peer_calls(host, interface, address, *calls, port=47808):
    """Calls of tests/peers/server_calls.js; (outcomes, notifications the peer got)."""
    request = {"interface": interface, "address": address, "port": port, "timeout": 3000, "calls": list(calls)}
    proc = node_peer.start(host, "server_calls.js", json.dumps(request))
    out, _ = proc.communicate(timeout=120)
    lines = out.splitlines()
    return ([json.loads(line) for line in lines if line.startswith("{")],
            [json.loads(line[2:]) for line in lines if line.startswith("N ")])


def write_present_values(instances, value):
    """A WritePropertyMultiple of the analog-values' present values, as confirmedRaw."""
    specs = "".join(f"0c{ANALOG_VALUE << 22 | k:08x}1e09552e44{struct.pack('>f', value).hex()}2f1f" for k in instances)
    return {"op": "confirmedRaw", "service": 16, "hex": specs}


def write_all(instances, value):
    """The present values of the analog-values, fifty to a WritePropertyMultiple, all at once."""
    writes = [write_present_values(instances[i:i + 50], value) for i in range(0, len(instances), 50)]
    return {"op": "together", "calls": writes}


def confirmed_subscriptions(instances):
    """A confirmed COV subscription of each analog-value, its process the instance."""
    return [{"op": "subscribeCov", "type": ANALOG_VALUE, "instance": k, "process": k, "confirmed": True}
            for k in instances]


class Bursts(unittest.TestCase):
    def station(self, lab):
        a, b = lab.host("a"), lab.host("b")
        ip_a, ip_b = lab.link(a, b)
        host = ApiHost(a, connect_string(ip_a), api_connect_string(), device=OWN)
        self.assertEqual((host.ready["start"], host.ready["errors"]), (0, []), host.ready)
        return a, b, ip_a, ip_b, host

    def test_a_who_is_of_300_set_up_devices_gets_301_i_ams_and_a_reader_loses_nothing(self):
        with netlab.Lab() as lab:
            a, b, ip_a, _, host = self.station(lab)
            api = ApiClient(a)
            try:
                devices = range(5000, 5300)
                set_up = [(301, u32(1) + u32(device) + string("") * 7) for device in devices]
                self.assertEqual({reply.payload for reply in api.pipelined(set_up)}, {u32(0)})
                reader = b.popen([programs.program("readproperty_load"), "--target", ip_a, "--device", str(OWN),
                                  "--outstanding", "8", "--seconds", "5", "--warmup-ms", "0"],
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
                out = b.run(["/usr/bin/python3", BVLC_CLIENT, "0.0.0.0", "47808", "10.111.1.255", "47808",
                             WHO_IS_ALL, WHO_IS_ALL]).stdout
                load, _ = reader.communicate(timeout=60)
            finally:
                api.close()
                host.quit()
        for answers in json.loads(out):
            i_ams = [int(m, 16) & 0x3FFFFF for frame in answers for m in I_AM.findall(frame)]
            self.assertEqual(sorted(i_ams), [OWN, *devices])
        self.assertRegex(load, r"requests=[1-9]")
        self.assertIn("lost=0", load)

    def analog_values(self, api, instances):
        client = api.call(306).fields().u32()
        puts = [(308, u32(OWN) + u32(ANALOG_VALUE) + u32(k) + string(f"av{k}") + u32(client)) for k in instances]
        self.assertEqual({reply.payload[4:] for reply in api.pipelined(puts)}, {u32(0)})

    def test_confirmed_cov_of_200_objects_in_one_burst_notifies_every_one(self):
        with netlab.Lab() as lab:
            a, b, ip_a, ip_b, host = self.station(lab)
            api = ApiClient(a)
            try:
                instances = range(1, 201)
                self.analog_values(api, instances)
                subscribe = confirmed_subscriptions(instances)
                out, notes = peer_calls(b, ip_b, ip_a, {"op": "together", "calls": subscribe}, {"op": "pause", "ms": 2000},
                                        write_all(instances, 10.0), {"op": "pause", "ms": 2000})
            finally:
                api.close()
                host.quit()
        self.assertEqual([o["op"] for o in out if "ok" in o], ["together", "pause", "together", "pause"], out)
        self.assertTrue(all("ok" in o for o in out[0]["ok"] + out[2]["ok"]), out)
        covs = [n for n in notes if n["kind"] == "cov" and n["confirmed"]]
        values = {(n["object"]["instance"], n["values"][0]["values"][0]["value"]) for n in covs}
        self.assertEqual(len(covs), 400)
        self.assertEqual(values, {(k, v) for k in instances for v in (0.0, 10.0)})

    def test_a_confirmed_subscriber_that_stops_answering_holds_up_no_other_and_gets_the_latest_values(self):
        silent_port = 47809
        with netlab.Lab() as lab:
            a, b, ip_a, ip_b, host = self.station(lab)
            api = ApiClient(a)
            try:
                instances = range(1, 201)
                self.analog_values(api, instances)
                subscribe = confirmed_subscriptions(instances)
                # Ends once subscribed: what is owed to it from then on finds nobody listening.
                peer_calls(b, ip_b, ip_a, {"op": "together", "calls": subscribe}, port=silent_port)
                live = [{**s, "process": 1000 + s["instance"]} for s in subscribe[:10]]
                rounds = [1.0, 2.0, 3.0, 4.0]
                calls = [{"op": "together", "calls": live}, {"op": "pause", "ms": 1200}]
                for value in rounds:
                    calls += [write_all(instances, value), {"op": "pause", "ms": 1200}]
                out, notes = peer_calls(b, ip_b, ip_a, *calls)
                _, back = peer_calls(b, ip_b, ip_a, {"op": "pause", "ms": 7000}, port=silent_port)
            finally:
                api.close()
                host.quit()
        self.assertTrue(all("ok" in o for o in out), out)
        seen = {(n["object"]["instance"], n["values"][0]["values"][0]["value"]) for n in notes if n["kind"] == "cov"}
        self.assertEqual(seen, {(k, v) for k in range(1, 11) for v in [0.0, *rounds]})
        latest = {n["object"]["instance"]: n["values"][0]["values"][0]["value"] for n in back if n["kind"] == "cov"}
        self.assertEqual(latest, {k: rounds[-1] for k in instances})

    def test_300_unconfirmed_subscriptions_to_one_object_get_300_notifications_each_time(self):
        with netlab.Lab() as lab:
            a, b = lab.host("a"), lab.host("b")
            ip_a, ip_b = lab.link(a, b)
            node = ServerNode(a, connect_string(ip_a), device=OWN)
            try:
                av1 = {"type": ANALOG_VALUE, "instance": 1}
                subscribe = [{"op": "subscribeCov", **av1, "process": p, "lifetime": 60} for p in range(1, 301)]
                out, notes = peer_calls(b, ip_b, ip_a, {"op": "together", "calls": subscribe[:150]},
                                        {"op": "together", "calls": subscribe[150:]}, {"op": "pause", "ms": 1500},
                                        {"op": "writeProperty", **av1, "property": 85, "tag": 4, "value": 42.0,
                                         "priority": 8}, {"op": "pause", "ms": 1500})
            finally:
                node.quit()
        self.assertTrue(all("ok" in o for o in out), out)
        # A subscription made in a later second sends the initial value to every subscriber again.
        values = {(n["values"][0]["values"][0]["value"], n["process"]) for n in notes if n["kind"] == "cov"}
        self.assertEqual(values, {(v, p) for v in (0.0, 42.0) for p in range(1, 301)})

    def test_a_notification_class_with_300_unconfirmed_recipients_reaches_all_300(self):
        with netlab.Lab() as lab:
            a, b = lab.host("a"), lab.host("b")
            ip_a, ip_b = lab.link(a, b)
            node = ServerNode(a, connect_string(ip_a), device=OWN)
            try:
                self.assertEqual(node.ask(f"notification-class 10 1 {ip_b} 1 0 300", "notification-class")["result"], 0)
                av1 = {"type": ANALOG_VALUE, "instance": 1}
                out, notes = peer_calls(b, ip_b, ip_a, *[{"op": "writeProperty", **av1, "property": p, "tag": t, "value": v}
                                                         for p, t, v in EVENT_SETTINGS + ((85, 4, 60.0),)],
                                        {"op": "pause", "ms": 1500})
            finally:
                node.quit()
        self.assertTrue(all("ok" in o for o in out), out)
        self.assertEqual(sorted(n["process"] for n in notes if n["kind"] == "event"), list(range(1, 301)))

    def test_a_stack_with_two_ports_sends_one_copy_of_each_unconfirmed_notification(self):
        with netlab.Lab() as lab:
            a, b, c = lab.host("a"), lab.host("b"), lab.host("c")
            ip_a1, ip_b = lab.link(a, b)
            ip_a2, _ = lab.link(a, c)
            cap = capture.Capture(a, a.addresses[0][0], "udp port 47808", name="two_ports_unconfirmed")
            node = ServerNode(a, connect_string(ip_a1), connect_string(ip_a2, network=2, port=47809), device=OWN)
            try:
                self.assertEqual(node.ask(f"notification-class 10 1 {ip_b} 5 0", "notification-class")["result"], 0)
                av1 = {"type": ANALOG_VALUE, "instance": 1}
                write = [{"op": "writeProperty", **av1, "property": p, "tag": t, "value": v} for p, t, v in EVENT_SETTINGS]
                out, notes = peer_calls(b, ip_b, ip_a1, {"op": "subscribeCov", **av1, "process": 3, "lifetime": 60},
                                        {"op": "pause", "ms": 1500}, *write, {"op": "writeProperty", **av1, "property": 85, "tag": 4, "value": 60.0,
                                                 "priority": 8}, {"op": "pause", "ms": 1500})
            finally:
                node.quit()
                path = cap.stop()
        self.assertTrue(all("ok" in o for o in out), out)
        self.assertEqual(sorted((n["kind"], n["confirmed"]) for n in notes),
                         [("cov", False), ("cov", False), ("event", False)])
        capture.assert_clean(path, expect_frames=2)
        sent = capture.fields(path, "bacapp.unconfirmed_service", display_filter=f"ip.src == {ip_a1} && bacapp.type == 1")
        self.assertEqual(sorted(s[0] for s in sent if s[0] in ("2", "3")), ["2", "2", "3"])


if __name__ == "__main__":
    netlab.require_root()
    unittest.main()
