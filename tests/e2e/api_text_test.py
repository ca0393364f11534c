"""The TCP API's text commands and XML requests against the whole stack as the backend starts
it (tests/e2e/tools/api_host), with a remote device played by @bacnet-js/client
(tests/peers/api_device.js) across a veth pair: get: and set: of one and of several items
(tshark tells ReadProperty from ReadPropertyMultiple and WriteProperty from
WritePropertyMultiple), XML reads and writes, raw confirmed and unconfirmed APDUs in hex, and
every error text a command can answer with."""

import collections
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e.cache_test import Device  # noqa: E402
from e2e.harness import capture, netlab  # noqa: E402
from e2e.tools.api_client import ApiClient  # noqa: E402
from e2e.tools.api_host import ApiHost, api_connect_string  # noqa: E402
from e2e.tools.peer import connect_string  # noqa: E402

OWN = 4711
PEER = 1234
INTERNAL = "Error : Internal Error"
OBJECT = "<OBJECTIDENTIFIER><OBJECTTYPE>{}</OBJECTTYPE><INSTANCE>{}</INSTANCE></OBJECTIDENTIFIER>"
OBJECT_AI1 = OBJECT.format(0, 1)
# ReadProperty of Analog Input 1's present value as a whole Confirmed-Request APDU.
RAW_READ = "0005010C0C000000011955"


def xml(method, fields):
    return f"xml:{method}<REQUEST>{fields}</REQUEST>"


class TextApi(unittest.TestCase):
    def test_text_and_xml_commands_against_the_stack_and_the_npm_device(self):
        with netlab.Lab() as lab:
            a, b = lab.host("a"), lab.host("b")
            ip_a, _ = lab.link(a, b)
            device = Device(b, script="api_device.js", device=PEER, broadcast="10.111.1.255")
            host = ApiHost(a, connect_string(ip_a), api_connect_string(), device=OWN)
            self.assertEqual((host.ready["start"], host.ready["errors"]), (0, []), host.ready)
            cap = capture.Capture(a, a.addresses[0][0], "udp port 47808", name="text")
            c = ApiClient(a)
            try:
                # (command, answer, what the device printed for it)
                cases = [
                    ("1234 get:0.1.85", "21.500000", {"rp": [0, 1, 85]}),
                    ("1234 get:0.1.85 0.2.85 3.1.85", "21.500000 7.250000 1",
                     {"rpm": [[0, 1, [85]], [0, 2, [85]], [3, 1, [85]]]}),
                    ("1234 get:0.1.85 0.9.85", "21.500000 (Error)", {"rpm": [[0, 1, [85]], [0, 9, [85]]]}),
                    ("1234 get:0.9.85", "Error Class : Object - Error Code : Unknown Object", {"rp": [0, 9, 85]}),
                    ("1234 set:1.1.85.8 22.5", "22.500000", {"wp": [1, 1, 85, 22.5, 8]}),
                    # The npm library reads WritePropertyMultiple of one object only.
                    ("1234 set:1.1.85.8 23.5 1.1.85.5 24", "23.500000 24.000000",
                     {"wpm": [1, 1, [[85, 23.5, 8], [85, 24, 5]]]}),
                    ("1234 set:0.1.85.8 5", "Error Class : Property - Error Code : Write Access Denied",
                     {"wp": [0, 1, 85, 5, 8]}),
                    ("1234 set:4.1.85.7 1", INTERNAL, None),
                    ("1234 get:0.1.77", INTERNAL, None),
                    ("pdu:0100", "Error : Unknown Command", None),
                    (xml("readProperty", f"<DEVICE>1234</DEVICE>{OBJECT_AI1}<PROPERTY>85</PROPERTY>"),
                     f"<ACK><DEVICE>1234</DEVICE>{OBJECT_AI1}<PROPERTY>85</PROPERTY>"
                     "<VALUE><TYPE>4</TYPE><DATA>21.500000</DATA></VALUE></ACK>", {"rp": [0, 1, 85]}),
                    (xml("readProperty", "<DEVICE>1234</DEVICE><OBJECTIDENTIFIER><OBJECTTYPE>0</OBJECTTYPE>"
                                         "<INSTANCE>9</INSTANCE></OBJECTIDENTIFIER><PROPERTY>85</PROPERTY>"),
                     "<ERROR><READPROPERTY><ERRORCLASS>1</ERRORCLASS><ERRORCODE>31</ERRORCODE></READPROPERTY>"
                     "</ERROR>", {"rp": [0, 9, 85]}),
                    (xml("writeProperty", "<DEVICE>1234</DEVICE><OBJECTIDENTIFIER><OBJECTTYPE>1</OBJECTTYPE>"
                                          "<INSTANCE>1</INSTANCE></OBJECTIDENTIFIER><PROPERTY>85</PROPERTY>"
                                          "<VALUE><TYPE>4</TYPE><DATA>30.25</DATA></VALUE><PRIORITY>8</PRIORITY>"),
                     "<ACK><DEVICE>1234</DEVICE><ACKNOWLEDGE>1</ACKNOWLEDGE></ACK>", {"wp": [1, 1, 85, 30.25, 8]}),
                    # Identifiers the encoder would cut to Analog Output 1 or Analog Value 2: none is sent.
                    ("1234 set:1.4194305.85.8 33", INTERNAL, None),
                    (xml("writeProperty", f"<DEVICE>1234</DEVICE>{OBJECT.format(1, 4194305)}<PROPERTY>85</PROPERTY>"
                                          "<VALUE><TYPE>4</TYPE><DATA>33</DATA></VALUE><PRIORITY>8</PRIORITY>"),
                     INTERNAL, None),
                    (xml("readProperty", f"<DEVICE>1234</DEVICE>{OBJECT.format(1025, 1)}<PROPERTY>85</PROPERTY>"),
                     INTERNAL, None),
                    (xml("deleteObject", f"<DEVICE>1234</DEVICE>{OBJECT.format(2, 4194306)}"), INTERNAL, None),
                    # Numbers read whole: none of these reaches the object its leading digits name.
                    *[(xml("deleteObject", f"<DEVICE>1234</DEVICE>{OBJECT.format(2, n)}"), INTERNAL, None)
                      for n in ("1e3", "0x10", "12abc", "+5", " 7", "1.9")],
                    *[(xml("writeProperty", f"<DEVICE>{device}</DEVICE>{OBJECT.format(1, instance)}<PROPERTY>85"
                                            f"</PROPERTY><VALUE><TYPE>4</TYPE><DATA>{value}</DATA></VALUE><PRIORITY>8"
                                            "</PRIORITY>"), INTERNAL, None)
                      for device, instance, value in (("1234", "1e3", "33"), ("1234", "+1", "33"), ("1234", " 1", "33"),
                                                      ("1234", "1.9", "33"), ("1234x", "1", "33"), ("1234", "1", "33abc"))],
                    ("1234 get:1.1.85", "30.250000", {"rp": [1, 1, 85]}),
                    (xml("readProperty", "<DEVICE>1234</DEVICE><PROPERTY>85</PROPERTY>"), INTERNAL, None),
                    ("unc:1008090B190C", "success", {"whoIs": [11, 12]}),
                    ("unc:10zz", INTERNAL, None),
                    # A device that never answers Who-Is: the parked request ends as a failed call.
                    ("999 get:0.1.85", "Error Class : Services - Error Code : Other", None),
                ]
                for command, answer, printed in cases:
                    self.assertEqual(c.text(command, timeout=20), answer, command)
                    if printed:
                        device.wait(*printed, **printed)
                # The raw answer carries the binding's invoke id, the rest is the device's ComplexACK.
                raw = c.text(f"1234 con:{RAW_READ}")
                self.assertEqual((raw[:2], raw[4:]), ("30", "0C0C0000000119553E4441AC00003F"), raw)
            finally:
                c.close()
                host.quit()
                device.stop()
            path = cap.stop()
            capture.assert_clean(path)
            services = collections.Counter(
                int(s) for s, in capture.fields(path, "bacapp.confirmed_service", display_filter="bacapp.type == 0"))
            # ReadProperty: five text and XML reads and the raw one; the several-item commands
            # went out as one ReadPropertyMultiple or WritePropertyMultiple each; no DeleteObject.
            self.assertEqual({k: services[k] for k in (11, 12, 14, 15, 16)}, {11: 0, 12: 6, 14: 2, 15: 3, 16: 1},
                             services)
            wpm = capture.fields(path, "bacapp.instance_number",
                                 display_filter="bacapp.type == 0 && bacapp.confirmed_service == 16")
            self.assertEqual(wpm, [("1",)])

    def test_stopping_the_stack_ends_a_call_that_waits_for_its_device(self):
        with netlab.Lab() as lab:
            a, b = lab.host("a"), lab.host("b")
            ip_a, _ = lab.link(a, b)
            device = Device(b, script="api_device.js", device=PEER, broadcast="10.111.1.255")
            host = ApiHost(a, connect_string(ip_a), api_connect_string(), device=OWN)
            c = ApiClient(a)
            try:
                # Device 999 never answers its Who-Is: the call waits for the binding.
                c.send_payload(b"999 get:0.1.85")
                device.wait("whoIs", whoIs=[999, 999])
                # The stop ends the waiting call before it waits for the connection: the call
                # fails, and the stop is told within the harness's bound (waiting the call out
                # took 36 s).
                host.quit()
                self.assertEqual(c.text_answer(command="999 get:0.1.85"), "Error Class : Services - Error Code : Other")
            finally:
                c.close()
                host.quit()
                device.stop()


if __name__ == "__main__":
    netlab.require_root()
    unittest.main()
