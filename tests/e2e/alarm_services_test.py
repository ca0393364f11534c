"""The local device's alarms and changes of value as another BACnet device meets them:
tests/e2e/tools/server_node (the stack with its object database, its poll and its
once-a-second behaviour) against @bacnet-js/client on a veth pair. The peer subscribes to
COV, drives an Analog Value into high-limit, acknowledges the alarm, asks for the summaries
and changes lists: one with a failing element, and a Schedule's exceptions. tshark dissects
every frame of the exchange."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e.harness import capture, netlab  # noqa: E402
from e2e.tools.server_node import ServerLab  # noqa: E402

OWN = 4711
AV1 = {"type": 2, "instance": 1}
MV1 = {"type": 19, "instance": 1}
SCHEDULE1 = {"type": 17, "instance": 1}
# Every Wednesday in December from six at 21.5, priority 5, as the peer library writes it.
WEDNESDAYS = {"date": {"type": 101, "value": {"month": 12, "week": 255, "wday": 3}},
              "events": [{"time": "2026-01-01T06:00:00", "value": {"type": 4, "value": 21.5}}], "priority": 5}



def event(month, hour, priority, value=None):
    """An exception on the first Sunday of the month, switching at the hour."""
    return {"date": {"type": 101, "value": {"month": month, "week": 1, "wday": 7}},
            "events": [{"time": f"2026-01-01T{hour:02}:00:00", "value": value or {"type": 4, "value": 20.0}}],
            "priority": priority}


def write(obj, prop, tag, value, **extra):
    return {"op": "writeProperty", **obj, "property": prop, "tag": tag, "value": value, **extra}


def pause(ms):
    return {"op": "pause", "ms": ms}


class Lab(ServerLab):
    """The server lab whose capture tshark must find clean, and whose calls come back with the
    notifications the peer got."""

    def __init__(self, test, name):
        super().__init__(test, name, device=OWN)

    def calls(self, *calls, timeout=3000):
        return super().calls(*calls, timeout=timeout), self.notes

    def close(self):
        path = super().close()
        capture.assert_clean(path, expect_frames=2)
        return path


class AlarmServices(unittest.TestCase):
    def assertError(self, outcome, error_class, error_code):
        self.assertEqual((outcome.get("errorClass"), outcome.get("errorCode")), (error_class, error_code), outcome)

    def test_cov_subscription_notifies_changes_beyond_the_increment_until_its_lifetime_ends(self):
        lab = Lab(self, "cov")
        try:
            out, notes = lab.calls(
                write(AV1, 22, 4, 1.0),
                {"op": "subscribeCov", **AV1, "process": 9, "confirmed": True, "lifetime": 6},
                pause(1500),
                write(AV1, 85, 4, 10.5, priority=8), pause(300),
                write(AV1, 85, 4, 11.0, priority=8), pause(1200),
                # Two seconds of margin on either side of the end of the lifetime, for a
                # loaded machine.
                write(AV1, 85, 4, 12.0, priority=8), pause(5000),
                write(AV1, 85, 4, 20.0, priority=8), pause(1500),
            )
            self.assertTrue(all("ok" in o for o in out), out)
        finally:
            path = lab.close()
        covs = [n for n in notes if n["kind"] == "cov"]
        values = [n["values"][0]["values"][0]["value"] for n in covs]
        self.assertEqual(values, [0.0, 10.5, 12.0])
        for n in covs:
            self.assertTrue(n["confirmed"])
            self.assertEqual((n["process"], n["object"], n["timeRemaining"]), (9, AV1, 0))
            self.assertEqual([v["property"] for v in n["values"]], [85, 111])
        rows = capture.fields(path, "bacapp.confirmed_service", "bacapp.present_value.real",
                              display_filter=f"ip.src == {lab.ip_a} && bacapp.type == 0")
        self.assertEqual([r[0] for r in rows], ["1", "1", "1"])

    def test_an_alarm_is_notified_summarised_and_acknowledged(self):
        lab = Lab(self, "alarm")
        try:
            self.assertEqual(lab.node.ask(f"notification-class 10 1 {lab.ip_b} 5 1", "notification-class")["result"], 0)
            out, notes = lab.calls(
                write(AV1, 113, 2, 0), write(AV1, 45, 4, 50.0), write(AV1, 25, 4, 2.0),
                write(AV1, 52, 8, {"bitsUsed": 2, "value": [2]}),
                write(AV1, 35, 8, {"bitsUsed": 3, "value": [7]}),
                write(AV1, 85, 4, 60.0, priority=8), pause(500),
                {"op": "getAlarmSummary"}, {"op": "getEventInformation"}, {"op": "getEnrollmentSummary", "ackFilter": 2},
                {"op": "acknowledgeAlarm", **AV1, "state": 3, "stamp": "wrong"},
                {"op": "acknowledgeAlarm", **AV1, "state": 3, "stamp": "event"}, pause(500),
                {"op": "acknowledgeAlarm", **AV1, "state": 3, "stamp": "event"},
                {"op": "getAlarmSummary"},
            )
        finally:
            path = lab.close()
        self.assertTrue(all("ok" in o for o in out[:7]), out)
        self.assertEqual(out[7]["ok"], [{"object": AV1, "state": 3, "acked": {"bitsUsed": 3, "value": [6]}}])
        info = out[8]["ok"]
        self.assertEqual([(e["object"], e["state"], e["priorities"]) for e in info], [(AV1, 3, [101, 102, 103])])
        self.assertEqual([(s["objectId"], s["eventType"], s["eventState"]) for s in out[9]["ok"]], [(AV1, 5, 3)])
        self.assertError(out[10], 5, 14)  # invalid-time-stamp
        self.assertIn("ok", out[11])
        self.assertError(out[13], 5, 7)   # acknowledged already
        self.assertEqual(out[14]["ok"], [{"object": AV1, "state": 3, "acked": {"bitsUsed": 3, "value": [7]}}])

        events = [n for n in notes if n["kind"] == "event"]
        self.assertEqual([(e["notifyType"], e.get("fromState"), e["toState"]) for e in events],
                         [(0, 0, 3), (2, None, 3)])
        first = events[0]
        self.assertEqual((first["confirmed"], first["process"], first["object"], first["eventType"], first["priority"],
                          first["ackRequired"], first["message"]), (True, 5, AV1, 5, 101, True, "AV 1"))
        # tshark reads the out-of-range values of the first notification from the wire.
        detail = capture.tshark(path, "-V", "-Y", f"ip.src == {lab.ip_a} && bacapp.confirmed_service == 2")
        self.assertIn("exceeding-value: 60", detail.replace("(Real) ", ""))
        self.assertIn("exceeded-limit: 50", detail.replace("(Real) ", ""))

    def test_a_failing_list_element_is_named_and_the_list_stays_as_it_was(self):
        lab = Lab(self, "lists")
        try:
            out, _ = lab.calls(
                {"op": "addListElement", **MV1, "property": 7, "values": [{"type": 2, "value": 2}, {"type": 2, "value": 3}]},
                {"op": "addListElement", **MV1, "property": 7, "values": [{"type": 2, "value": 4}, {"type": 4, "value": 1.5}]},
                {"op": "readProperty", **MV1, "property": 7},
                {"op": "removeListElement", **MV1, "property": 7, "values": [{"type": 2, "value": 3}]},
                {"op": "removeListElement", **MV1, "property": 7, "values": [{"type": 2, "value": 9}]},
                {"op": "readProperty", **MV1, "property": 7},
                {"op": "createObject", **SCHEDULE1},
                {"op": "addListElement", **SCHEDULE1, "property": 38, "index": 3, "events": [WEDNESDAYS]},
                {"op": "addListElement", **SCHEDULE1, "property": 38, "events": [WEDNESDAYS]},
                {"op": "readProperty", **SCHEDULE1, "property": 38},
                {"op": "removeListElement", **SCHEDULE1, "property": 38, "index": 3, "events": [WEDNESDAYS]},
                {"op": "readProperty", **SCHEDULE1, "property": 38},
                # Several events under one index: all of them or none; a removal takes the event
                # equal in every field, not another on its day.
                {"op": "addListElement", **SCHEDULE1, "property": 38, "index": 1,
                 "events": [event(7, 7, 3), event(7, 9, 4), event(8, 10, 5)]},
                {"op": "addListElement", **SCHEDULE1, "property": 38, "index": 1,
                 "events": [event(9, 6, 6), event(9, 8, 6, {"type": 7, "value": "an"})]},
                {"op": "removeListElement", **SCHEDULE1, "property": 38, "index": 1, "events": [event(7, 9, 4)]},
                {"op": "removeListElement", **SCHEDULE1, "property": 38, "index": 1, "events": [event(8, 23, 16)]},
                {"op": "readProperty", **SCHEDULE1, "property": 38},
            )
        finally:
            path = lab.close()
        self.assertEqual(out[0], {"op": "addListElement", "ok": {}})
        self.assertIn("error", out[1])
        self.assertEqual(out[2]["ok"]["values"], [{"type": 2, "value": 2}, {"type": 2, "value": 3}])
        self.assertEqual(out[3], {"op": "removeListElement", "ok": {}})
        self.assertIn("error", out[4])
        self.assertEqual(out[5]["ok"]["values"], [{"type": 2, "value": 2}])
        # An exception goes in under a day's index and comes out again; without the index it is
        # refused.
        self.assertEqual([o["op"] for o in out[6:12] if "ok" in o], ["createObject", "addListElement", "readProperty",
                                                                  "removeListElement", "readProperty"])
        [events] = out[9]["ok"]["values"]
        self.assertEqual([(e["date"]["value"], e["priority"]["value"], [t["value"]["value"] for t in e["events"]])
                          for e in events["value"]], [(WEDNESDAYS["date"]["value"], 5, [21.5])])
        self.assertEqual(out[11]["ok"]["values"], [{"type": 114, "value": []}])
        self.assertEqual([list(o) for o in out[12:16]], [["op", "ok"], ["op", "error", "errorClass", "errorCode"],
                                                         ["op", "ok"], ["op", "error", "errorClass", "errorCode"]])
        [events] = out[16]["ok"]["values"]
        self.assertEqual([(e["date"]["value"]["month"], e["priority"]["value"], len(e["events"]))
                          for e in events["value"]], [(7, 3, 1), (8, 5, 1)])
        errors = capture.fields(path, "bacapp.confirmed_service", "bacapp.error_class", "bacapp.error_code",
                                display_filter=f"ip.src == {lab.ip_a} && bacapp.type == 5")
        self.assertEqual(errors, [("8", "2", "9"), ("9", "2", "0"), ("8", "2", "42"), ("8", "2", "47"), ("9", "2", "0")])
        detail = capture.tshark(path, "-V", "-Y", f"ip.src == {lab.ip_a} && bacapp.type == 5 && "
                                                  "bacapp.confirmed_service == 8")
        self.assertIn("first failed element number: (Unsigned) 2", detail)


if __name__ == "__main__":
    netlab.require_root()
    unittest.main()
