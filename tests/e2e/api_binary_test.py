"""The TCP API's binary protocol against the whole stack as the backend starts it
(tests/e2e/tools/api_host, a BACnet/IP port and an API port on the namespace's loopback),
driven by a client written from the frame layout (tests/e2e/tools/api_client.py), with a
device played by @bacnet-js/client (tests/peers/analog_device.js) on the other side of a veth
pair: raw unconfirmed and confirmed requests with their forwarded answers, the remote-property
cache through its commands and events, the local identity, client state, log and PDU events,
and clients that break the framing or vanish with a request pending."""

import json
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e.cache_test import Device  # noqa: E402
from e2e.harness import capture, netlab, node_peer  # noqa: E402
from e2e.tools.api_client import (ApiClient, blob, in_tag0, object_id, read_app, read_tag0_value,  # noqa: E402
                                  real, reference, string, u8, u32)
from e2e.tools.api_host import ApiHost, api_connect_string  # noqa: E402
from e2e.tools.peer import bip_mac, connect_string  # noqa: E402

BVLC_CLIENT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "tools", "bvlc_client.py")
OWN = 4711
PEER = 1234
ANALOG_INPUT = 0
ANALOG_OUTPUT = 1
ANALOG_VALUE = 2
BINARY_INPUT = 3
MODEL_NAME = 70
OBJECT_NAME = 77
PRESENT_VALUE = 85
READ_PROPERTY = 12
WHO_IS = 8
I_AM = 0
BAD_REQUEST = 0
UNKNOWN_COMMAND = 3


def read_property(object_type, instance, prop):
    return bytes([0x0C]) + object_id(object_type, instance) + bytes([0x19, prop])


def read_at(ip, instance):
    """Command 102's payload: a ReadProperty of Analog Value `instance`'s present value to the
    B/IP address `ip`."""
    return (u8(0) + u32(0) + u8(6) + bytes.fromhex(bip_mac(ip)) + u8(READ_PROPERTY) +
            blob(read_property(ANALOG_VALUE, instance, PRESENT_VALUE)))


def who_is(low, high):
    return bytes([0x0A]) + low.to_bytes(2, "big") + bytes([0x1A]) + high.to_bytes(2, "big")


def peer_calls(host, interface, address, *calls):
    """Confirmed requests from @bacnet-js/client on `host` to `address`; their outcomes."""
    request = {"interface": interface, "address": address, "timeout": 3000, "calls": list(calls)}
    proc = node_peer.start(host, "server_calls.js", json.dumps(request))
    out, _ = proc.communicate(timeout=60)
    return [json.loads(line) for line in out.splitlines() if line.startswith("{")]


class Lab:
    """Host a runs the stack with its API port, host b the npm device."""

    def __init__(self, lab, trace=True, device=True, values=1):
        self.a, self.b = lab.host("a"), lab.host("b")
        self.ip_a, self.ip_b = lab.link(self.a, self.b)
        self.device = Device(self.b, device=PEER, broadcast="10.111.1.255", value=21.5, count=values) if device else None
        self.host = ApiHost(self.a, connect_string(self.ip_a), api_connect_string(), device=OWN, trace=trace)
        assert self.host.ready["start"] == 0 and self.host.ready["errors"] == [], self.host.ready

    def client(self):
        return ApiClient(self.a)

    def peer_calls(self, *calls):
        """Confirmed requests from @bacnet-js/client on host b to our device; their outcomes."""
        return peer_calls(self.b, self.ip_b, self.ip_a, *calls)

    def who_is(self, instance, high=None):
        """The I-Am answers to a Who-Is of that one instance (or up to `high`) that host b broadcasts."""
        proc = node_peer.start(self.b, "discover.js", "10.111.1.255", instance, high or instance, 800)
        out, _ = proc.communicate(timeout=30)
        return [(line["iAm"], line["address"]) for line in map(json.loads, out.splitlines()) if "iAm" in line]

    def stop(self):
        self.host.quit()
        if self.device:
            self.device.stop()


def told(client, error, handles, timeout):
    """The handles among `handles` whose next cache event tells `error`, once all have told it or
    the time is up."""
    seen = set()
    end = time.monotonic() + timeout
    try:
        while seen != handles:
            event = client.wait_event(705, timeout=end - time.monotonic(),
                                      match=lambda m: m.payload[-12:-8] == u32(error))
            seen.add(int.from_bytes(event.payload[-4:], "big"))
    except AssertionError:
        pass
    return seen


def expect_error(test, message, request_id, number):
    test.assertEqual((message.flag, message.id, message.code, message.payload), (255, request_id, 1, u32(number)))


class BinaryApi(unittest.TestCase):
    def test_every_kind_of_command_against_the_stack_and_the_npm_device(self):
        with netlab.Lab() as lab:
            setup = Lab(lab)
            cap = capture.Capture(setup.a, setup.a.addresses[0][0], "udp port 47808", name="api")
            c = setup.client()
            try:
                # The local device, client state, an unknown code.
                self.assertEqual(c.call(401).payload, u32(OWN))
                self.assertEqual(c.call(402).payload, u32(1))
                keep = c.call(501)
                self.assertEqual((keep.flag, keep.code, keep.payload), (0, 501, b""))
                rid = c.send(777)
                expect_error(self, c.reply(rid), rid, UNKNOWN_COMMAND)
                rid = c.send(203, u32(1))  # a payload cut short
                expect_error(self, c.reply(rid), rid, BAD_REQUEST)

                # Log events: a second connection is logged by the port (level 11).
                self.assertEqual(c.call(601, u8(1)).payload, b"")
                other = setup.client()
                log = c.wait_event(701, match=lambda m: b"api_add_client_connection" in m.payload)
                fields = log.fields()
                self.assertEqual((fields.u32(), fields.string()), (11, "api_add_client_connection"))
                self.assertTrue(fields.done())
                c.call(601, u8(0))

                # An unconfirmed Who-Is goes out; the device's I-Am comes back as a PDU event.
                self.assertEqual(c.call(602, u8(1)).payload, b"")
                sent = c.call(101, u8(WHO_IS) + blob(who_is(PEER, PEER)))
                self.assertEqual((sent.flag, sent.code, sent.payload), (0, 101, b""))
                i_am = c.wait_event(702, match=lambda m: m.payload[4] == I_AM)
                fields = i_am.fields()
                kind, choice, data = fields.u32(), fields.u8(), fields.blob()
                self.assertEqual((kind, choice), (1, I_AM))
                self.assertEqual(read_app(data)[0], (8, PEER))
                c.call(602, u8(0))

                # Confirmed requests: by device instance (now bound) and by address; the answer
                # comes later as reply 102 with the acknowledgement's octets.
                by_device = c.call(102, u8(1) + u32(PEER) + u8(READ_PROPERTY) +
                                   blob(read_property(ANALOG_VALUE, 1, PRESENT_VALUE)))
                fields = by_device.fields()
                self.assertEqual((by_device.flag, fields.u32(), fields.u8()), (0, 3, READ_PROPERTY))
                self.assertEqual(fields.blob(), read_property(ANALOG_VALUE, 1, PRESENT_VALUE) +
                                 bytes([0x3E]) + real(21.5) + bytes([0x3F]))
                by_address = c.call(102, read_at(setup.ip_b, 9))
                fields = by_address.fields()
                # The device knows no Analog Value 9: an Error of class property, unknown property.
                self.assertEqual((fields.u32(), fields.u8(), fields.blob()), (5, READ_PROPERTY,
                                                                              bytes([0x91, 0x02, 0x91, 0x20])))
                rid = c.send(102, u8(1) + u32(999) + u8(READ_PROPERTY) + blob(b"\x0c"))
                expect_error(self, c.reply(rid), rid, BAD_REQUEST)  # device 999 is not bound

                # The remote-property cache: a client, a handle, events, reads and a write.
                registered = c.call(205).fields()
                cache_client, result = registered.u32(), registered.i32()
                self.assertEqual(result, 0)
                c.call(605, u8(1))
                ref = reference(PEER, ANALOG_VALUE, 1, PRESENT_VALUE)
                added = c.call(207, u32(cache_client) + blob(ref) + u8(60) + u8(0)).fields()
                handle, result = added.u32(), added.i32()
                self.assertEqual(result, 0)
                event = c.wait_event(705, timeout=15).fields()
                block = event.blob()
                self.assertEqual(block, ref + in_tag0(real(21.5)))
                self.assertEqual((event.u32(), event.u32(), event.u32()), (0, cache_client, handle))
                read = c.call(203, u32(cache_client) + u32(handle) + u8(1)).fields()
                value_block = read.blob()
                value, pos = read_tag0_value(value_block)
                error_class, pos = read_app(value_block, pos)
                error_code, _ = read_app(value_block, pos)
                self.assertEqual((value, error_class, error_code, read.i32()), (21.5, 0, 0, 0))
                written = c.call(204, blob(in_tag0(real(42.5))) + u32(cache_client) + u32(handle) + u8(0) + u8(8),
                                 timeout=20)
                self.assertEqual(written.payload, u32(0))
                setup.device.wait("writeProperty")
                self.assertEqual(setup.device.seen("writeProperty")[0]["value"], 42.5)
                c.wait_event(705, timeout=15, match=lambda m: in_tag0(real(42.5)) in m.payload)
                self.assertEqual(c.call(202, u32(cache_client) + u32(handle)).payload, u32(0))
                self.assertEqual(c.call(202, u32(cache_client) + u32(handle)).payload, u32(0xFFFFFFFF))
                self.assertEqual(c.call(201, blob(ref) + u32(cache_client) + u32(77)).payload, u32(0))
                self.assertEqual(c.call(206, u32(cache_client)).payload, u32(0))

                other.close()
            finally:
                c.close()
                setup.stop()
            path = cap.stop()
            capture.assert_clean(path, expect_frames=4)
            # Our confirmed ReadProperty requests went out as the client wrote them.
            reads = capture.fields(path, "bacapp.objectType", "bacapp.instance_number",
                                   display_filter=f"ip.src == {setup.ip_a} && bacapp.type == 0 && "
                                                  "bacapp.confirmed_service == 12")
            self.assertIn(("2", "1"), reads)
            self.assertIn(("2", "9"), reads)

    def test_every_cache_handle_is_told_each_state_of_its_device(self):
        """300 handles of one device: their first values, their going offline and their coming
        back each come in bursts larger than a client's queue holds."""
        count = 300
        with netlab.Lab() as lab:
            setup = Lab(lab, trace=False, values=count)
            c = setup.client()
            try:
                cache_client = c.call(205).fields().u32()
                c.call(605, u8(1))
                handles = {c.call(207, u32(cache_client) + blob(reference(PEER, ANALOG_VALUE, instance, PRESENT_VALUE)) +
                                  u8(60) + u8(0)).fields().u32() for instance in range(1, count + 1)}
                self.assertEqual(len(handles), count)
                self.assertEqual(len(told(c, 0, handles, timeout=60)), count)
                setup.device.command(silent=True)
                self.assertEqual(len(told(c, 31, handles, timeout=120)), count)
                setup.device.command(silent=False)
                self.assertEqual(len(told(c, 0, handles, timeout=120)), count)
            finally:
                c.close()
                setup.stop()

    def test_object_api_and_device_set_up(self):
        with netlab.Lab() as lab:
            setup = Lab(lab, trace=False, device=False)
            cap = capture.Capture(setup.a, setup.a.addresses[0][0], "udp port 47808", name="object_api")
            c = setup.client()
            try:
                registered = c.call(306).fields()
                client, result = registered.u32(), registered.i32()
                self.assertEqual(result, 0)
                # An Analog Output with a value registration under a handle the system makes,
                # an Analog Input under the client's own handle 77.
                put = c.call(308, u32(OWN) + u32(ANALOG_OUTPUT) + u32(1) + string("Sollwert") + u32(client)).fields()
                handle, result = put.u32(), put.i32()
                self.assertEqual(result, 0)
                self.assertEqual(c.call(302, u32(OWN) + u32(ANALOG_INPUT) + u32(2) + string("Fühler") + u32(client) +
                                        u32(77)).payload, u32(0))
                again = c.call(308, u32(OWN) + u32(ANALOG_OUTPUT) + u32(1) + string("x") + u32(client)).fields()
                self.assertEqual((again.u32(), again.i32()), (0, -1))
                # Puts refused: (device, type, instance) that no object identifier of a local
                # device can name.
                for device, object_type, instance in ((OWN, 6, 1), (999, BINARY_INPUT, 1),
                                                      (OWN, ANALOG_INPUT, 4194303), (OWN, ANALOG_INPUT, 5000000),
                                                      (OWN, BINARY_INPUT, 0xFFFFFFFF)):
                    where = (device, object_type, instance)
                    self.assertEqual(c.call(302, u32(device) + u32(object_type) + u32(instance) + string("x") +
                                            u32(client) + u32(78)).payload, u32(0xFFFFFFFF), where)
                    refused = c.call(308, u32(device) + u32(object_type) + u32(instance) + string("x") +
                                     u32(client)).fields()
                    self.assertEqual((refused.u32(), refused.i32()), (0, -1), where)

                # A write through the handle, read back through the object's own device.
                self.assertEqual(c.call(305, u32(client) + u32(77) + u32(0) + blob(in_tag0(real(23.5)))).payload,
                                 u32(0))
                read = c.call(304, u32(client) + u32(77) + u8(0), timeout=20).fields()
                value, _ = read_tag0_value(read.blob())
                self.assertEqual((value, read.u32(), read.i32()), (23.5, 0, 0))

                # Another device writes and reads the Analog Output: events 703 and 706.
                c.call(603, u8(1))
                c.call(606, u8(1))
                self.assertEqual(c.call(309, u32(client) + u32(handle) + u8(1)).payload, u32(0))
                outcomes = setup.peer_calls(
                    {"op": "writeProperty", "type": ANALOG_OUTPUT, "instance": 1, "property": PRESENT_VALUE, "tag": 4,
                     "value": 30.0, "priority": 8},
                    {"op": "readProperty", "type": ANALOG_OUTPUT, "instance": 1, "property": PRESENT_VALUE},
                    {"op": "readProperty", "type": ANALOG_INPUT, "instance": 2, "property": OBJECT_NAME})
                self.assertEqual(outcomes[1]["ok"]["values"], [{"type": 4, "value": 30}], outcomes)
                self.assertEqual(outcomes[2]["ok"]["values"], [{"type": 7, "value": "Fühler"}], outcomes)
                change = c.wait_event(703).fields()
                numbers = [change.u32() for _ in range(5)]
                self.assertEqual(numbers, [client, handle, OWN, ANALOG_OUTPUT, 1])
                self.assertEqual(read_tag0_value(change.blob())[0], 30.0)
                self.assertEqual(change.u32(), 8)
                read_event = c.wait_event(706).fields()
                self.assertEqual([read_event.u32() for _ in range(5)], [client, handle, OWN, ANALOG_OUTPUT, 1])
                self.assertTrue(read_event.done())
                host = setup.host.wait("object_event")
                self.assertEqual((host["client"], host["handle"], host["type"]), (client, handle, ANALOG_OUTPUT))

                # Delete and unregister end the handles; the objects stay.
                self.assertEqual(c.call(303, u32(client) + u32(77)).payload, u32(0))
                self.assertEqual(c.call(303, u32(client) + u32(77)).payload, u32(0xFFFFFFFF))
                self.assertEqual(c.call(307, u32(client)).payload, u32(0))
                self.assertEqual(c.call(307, u32(client)).payload, u32(0xFFFFFFFF))
                gone = c.call(304, u32(client) + u32(handle) + u8(0)).fields()
                gone.blob()
                self.assertEqual((gone.u32(), gone.i32()), (501, -1))

                # The device is set up again under its instance: the peer reads the new identity.
                texts = ["2.0", "3.1", "Modell Z", "Raum 12", "Hersteller", "Beschreibung", "Ort"]
                self.assertEqual(c.call(301, u32(1) + u32(OWN) + b"".join(string(t) for t in texts)).payload, u32(0))
                outcomes = setup.peer_calls(
                    {"op": "readProperty", "type": 8, "instance": OWN, "property": MODEL_NAME},
                    {"op": "readProperty", "type": ANALOG_INPUT, "instance": 2, "property": PRESENT_VALUE})
                self.assertEqual(outcomes[0]["ok"]["values"], [{"type": 7, "value": "Modell Z"}], outcomes)
                self.assertEqual(outcomes[1]["ok"]["values"], [{"type": 4, "value": 23.5}], outcomes)
                # The API's own calls still reach the device set up again (a request parked for
                # want of an address would take ten seconds and fail).
                self.assertEqual(c.text(f"{OWN} get:0.2.85", timeout=5), "23.500000")
                ai2 = "<OBJECTIDENTIFIER><OBJECTTYPE>0</OBJECTTYPE><INSTANCE>2</INSTANCE></OBJECTIDENTIFIER>"
                self.assertEqual(c.text(f"xml:readProperty<REQUEST><DEVICE>{OWN}</DEVICE>{ai2}<PROPERTY>85</PROPERTY>"
                                        "</REQUEST>", timeout=5),
                                 f"<ACK><DEVICE>{OWN}</DEVICE>{ai2}<PROPERTY>85</PROPERTY>"
                                 "<VALUE><TYPE>4</TYPE><DATA>23.500000</DATA></VALUE></ACK>")
                client = c.call(306).fields().u32()
                self.assertEqual(c.call(302, u32(OWN) + u32(ANALOG_INPUT) + u32(2) + string("Fühler") + u32(client) +
                                        u32(80)).payload, u32(0))
                read = c.call(304, u32(client) + u32(80) + u8(0), timeout=5).fields()
                value, _ = read_tag0_value(read.blob())
                self.assertEqual((value, read.u32(), read.i32()), (23.5, 0, 0))
                # A device set up under a new instance answers a peer's Who-Is, and as itself:
                # its Device object with the set-up's texts, to the peer and to the API's read.
                self.assertEqual(c.call(301, u32(1) + u32(OWN + 1) + b"".join(string(t) for t in texts)).payload,
                                 u32(0))
                self.assertEqual(setup.who_is(OWN + 1), [(OWN + 1, setup.ip_a)])
                outcomes = setup.peer_calls(
                    {"op": "readProperty", "type": 8, "instance": OWN + 1, "property": OBJECT_NAME})
                self.assertEqual(outcomes[0]["ok"]["values"], [{"type": 7, "value": "Raum 12"}], outcomes)
                device = (f"<OBJECTIDENTIFIER><OBJECTTYPE>8</OBJECTTYPE><INSTANCE>{OWN + 1}</INSTANCE>"
                          "</OBJECTIDENTIFIER>")
                self.assertEqual(c.text(f"xml:readProperty<REQUEST><DEVICE>{OWN + 1}</DEVICE>{device}<PROPERTY>77"
                                        "</PROPERTY></REQUEST>", timeout=5),
                                 f"<ACK><DEVICE>{OWN + 1}</DEVICE>{device}<PROPERTY>77</PROPERTY>"
                                 "<VALUE><TYPE>7</TYPE><DATA>Raum 12</DATA></VALUE></ACK>")
                # Its other objects as well, where the own device holds none of that identifier.
                put = c.call(308, u32(OWN + 1) + u32(ANALOG_VALUE) + u32(1) + string("Zuluft") + u32(client)).fields()
                handle, result = put.u32(), put.i32()
                self.assertEqual(result, 0)
                self.assertEqual(c.call(305, u32(client) + u32(handle) + u32(0) + blob(in_tag0(real(19.5)))).payload,
                                 u32(0))
                outcomes = setup.peer_calls(
                    {"op": "readProperty", "type": ANALOG_VALUE, "instance": 1, "property": PRESENT_VALUE},
                    {"op": "readProperty", "type": ANALOG_VALUE, "instance": 1, "property": OBJECT_NAME})
                self.assertEqual([o["ok"]["values"] for o in outcomes],
                                 [[{"type": 4, "value": 19.5}], [{"type": 7, "value": "Zuluft"}]], outcomes)
                av1 = "<OBJECTIDENTIFIER><OBJECTTYPE>2</OBJECTTYPE><INSTANCE>1</INSTANCE></OBJECTIDENTIFIER>"
                self.assertEqual(c.text(f"xml:readProperty<REQUEST><DEVICE>{OWN + 1}</DEVICE>{av1}<PROPERTY>77"
                                        "</PROPERTY></REQUEST>", timeout=5),
                                 f"<ACK><DEVICE>{OWN + 1}</DEVICE>{av1}<PROPERTY>77</PROPERTY>"
                                 "<VALUE><TYPE>7</TYPE><DATA>Zuluft</DATA></VALUE></ACK>")
                self.assertEqual(c.text(f"{OWN + 1} get:2.1.85", timeout=5), "19.500000")
                read = c.call(304, u32(client) + u32(handle) + u8(0), timeout=5).fields()
                self.assertEqual((read_tag0_value(read.blob())[0], read.u32(), read.i32()), (19.5, 0, 0))
                # A second device set up on the network: an identifier a device before it at the
                # station holds is refused, and a Who-Is finds all three devices.
                self.assertEqual(c.call(301, u32(1) + u32(OWN + 2) + b"".join(string(t) for t in texts)).payload,
                                 u32(0))
                # The own device holds analog-input 2, device OWN + 1 analog-value 1.
                for device, held, instance in ((OWN + 1, ANALOG_INPUT, 2), (OWN + 2, ANALOG_VALUE, 1)):
                    self.assertEqual(c.call(302, u32(device) + u32(held) + u32(instance) + string("x") + u32(client) +
                                            u32(81)).payload, u32(0xFFFFFFFF), device)
                self.assertEqual(sorted(setup.who_is(OWN, OWN + 2)), [(i, setup.ip_a) for i in (OWN, OWN + 1, OWN + 2)])
                # The wildcard is no device's instance.
                self.assertEqual(c.call(301, u32(1) + u32(4194303) + b"".join(string(t) for t in texts)).payload,
                                 u32(0xFFFFFFFF))
            finally:
                c.close()
                setup.stop()
            path = cap.stop()
            capture.assert_clean(path, expect_frames=4)
            i_ams = capture.fields(path, "bacapp.instance_number",
                                   display_filter=f"ip.src == {setup.ip_a} && bacapp.unconfirmed_service == 0")
            self.assertIn((str(OWN + 1),), i_ams)
            self.assertNotIn(("4194303",), i_ams)

    def test_set_up_devices_share_a_station_on_their_own_network_only(self):
        """Ports on network 1 (host b's side) and network 2 (host c's, UDP 47809); devices set up
        without a station of their own: 5000 and 5001 on network 1, 6000 on network 2."""
        with netlab.Lab() as lab:
            a, b, c = lab.host("a"), lab.host("b"), lab.host("c")
            ip_a1, ip_b = lab.link(a, b)
            ip_a2, ip_c = lab.link(a, c)
            host = ApiHost(a, connect_string(ip_a1), connect_string(ip_a2, network=2, port=47809),
                           api_connect_string(), device=OWN)
            self.assertEqual((host.ready["start"], host.ready["errors"]), (0, []))
            api = ApiClient(a)
            peers = {1: (b, ip_b, ip_a1), 2: (c, ip_c, f"{ip_a2}:47809")}  # the own device's station on each

            def name_at(network, instance):
                outcome = peer_calls(*peers[network], {"op": "readProperty", "type": ANALOG_VALUE,
                                                       "instance": instance, "property": OBJECT_NAME})
                return outcome[0]["ok"]["values"][0]["value"]

            def put(device, instance, value):
                """308 of (device, analog-value instance), then 305 of the value where it is made."""
                made = api.call(308, u32(device) + u32(ANALOG_VALUE) + u32(instance) +
                                string(f"av{instance}-of-{device}") + u32(client)).fields()
                handle, result = made.u32(), made.i32()
                if result == 0:
                    self.assertEqual(api.call(305, u32(client) + u32(handle) + u32(0) +
                                              blob(in_tag0(real(value)))).payload, u32(0))
                return handle, result

            try:
                client = api.call(306).fields().u32()
                for network, device in ((1, 5000), (1, 5001), (2, 6000)):
                    self.assertEqual(api.call(301, u32(network) + u32(device) + string("") * 7).payload, u32(0))
                # One identifier on both networks: each station answers with its own network's
                # device's object, to the peer and to the API's reads.
                handles = {5000: put(5000, 7, 50.5), 6000: put(6000, 7, 60.5)}
                self.assertEqual([result for _, result in handles.values()], [0, 0])
                for network, device, value in ((1, 5000, 50.5), (2, 6000, 60.5)):
                    self.assertEqual(name_at(network, 7), f"av7-of-{device}")
                    read = api.call(304, u32(client) + u32(handles[device][0]) + u8(0), timeout=5).fields()
                    self.assertEqual((read_tag0_value(read.blob())[0], read.u32(), read.i32()), (value, 0, 0))
                    self.assertEqual(api.text(f"{device} get:2.7.85", timeout=5), f"{value:f}")
                # At one station one identifier names one object, whichever device put it first.
                self.assertEqual(put(5001, 4, 51.5)[1], 0)
                self.assertEqual([put(device, 4, 0.0)[1] for device in (5000, OWN)], [-1, -1])
                self.assertEqual(name_at(1, 4), "av4-of-5001")
                self.assertEqual(api.text("5001 get:2.4.85", timeout=5), "51.500000")
                # 5000 comes to network 2 as well: there analog-value 7 stays 6000's, and a peer's
                # write there leaves 5000's.
                self.assertEqual(api.call(301, u32(2) + u32(5000) + string("") * 7).payload, u32(0))
                write = {"op": "writeProperty", "type": ANALOG_VALUE, "instance": 7, "property": PRESENT_VALUE,
                         "tag": 4, "value": 72.5, "priority": 16}
                self.assertIn("ok", peer_calls(*peers[2], write)[0])
                for network, device, value in ((1, 5000, 50.5), (2, 6000, 72.5)):
                    self.assertEqual(name_at(network, 7), f"av7-of-{device}")
                    self.assertEqual(api.text(f"{device} get:2.7.85", timeout=5), f"{value:f}")
                # 5000's analog-value 7 in high-limit, as a peer on network 1 makes it: the station
                # there reports it once and takes its acknowledgment, network 2's lists 6000's.
                alarm = [dict(write, property=p, tag=t, value=v) for p, t, v in (
                    (113, 2, 0), (45, 4, 40.0), (52, 8, {"bitsUsed": 2, "value": [2]}),
                    (35, 8, {"bitsUsed": 3, "value": [7]}), (85, 4, 55.0))]
                stamp = {"op": "confirmedRaw", "service": READ_PROPERTY, "hex": "0c00800007 19 82 29 01".replace(" ", "")}
                outcomes = peer_calls(*peers[1], *alarm, {"op": "pause", "ms": 500}, stamp, {"op": "getAlarmSummary"})
                self.assertTrue(all("ok" in o for o in outcomes), outcomes)
                self.assertEqual([a["object"] for a in outcomes[-1]["ok"]], [{"type": ANALOG_VALUE, "instance": 7}])
                event = outcomes[-2]["ok"]["hex"]
                event = event[event.index("3e") + 2:event.rindex("3f")]  # the transition's time stamp
                source = "Leitstand".encode().hex()
                acknowledge = (f"0901 1c00800007 2903 3e{event}3f 4d0a00{source} 5e{event}5f").replace(" ", "")
                self.assertIn("ok", peer_calls(*peers[1], {"op": "confirmedRaw", "service": 0, "hex": acknowledge})[0])
                self.assertEqual(peer_calls(*peers[2], {"op": "getAlarmSummary"})[0]["ok"], [])
            finally:
                api.close()
                host.quit()

    def test_who_has_at_each_station_finds_the_objects_that_station_answers(self):
        """Ports on networks 1-3 (hosts b, c, d; UDP 47808-47810); devices set up without a
        station of their own: 5000 on 1, 6000 on 2, 8000 on 3 and later on 1 as well, each with
        analog-value 11, 8000 with analog-value 12 too."""
        with netlab.Lab() as lab:
            a = lab.host("a")
            lans = {}
            for network, name in ((1, "b"), (2, "c"), (3, "d")):
                peer = lab.host(name)
                ip, _ = lab.link(a, peer)
                lans[network] = (peer, ip, 47807 + network)
            host = ApiHost(a, *(connect_string(ip, network=n, port=udp) for n, (_, ip, udp) in lans.items()),
                           api_connect_string(), device=OWN)
            self.assertEqual((host.ready["start"], host.ready["errors"]), (0, []))
            api = ApiClient(a)
            lan2 = lans[2][0]
            cap = capture.Capture(lan2, lan2.addresses[0][0], "udp port 47809", name="lan2")
            try:
                client = api.call(306).fields().u32()
                for network, device, instances in ((1, 5000, (11,)), (2, 6000, (11,)), (3, 8000, (11, 12)), (1, 8000, ())):
                    self.assertEqual(api.call(301, u32(network) + u32(device) + string("") * 7).payload, u32(0))
                    for k in instances:
                        made = api.call(308, u32(device) + u32(ANALOG_VALUE) + u32(k) + string(f"av{k}-of-{device}") +
                                        u32(client)).fields()
                        self.assertEqual((made.u32(), made.i32())[1], 0)
                # Each set-up is announced on its own network's LAN alone.
                path = cap.stop()
                i_ams = capture.tshark(path, "-d", "udp.port==47809,bvlc", "-Y", "bacapp.unconfirmed_service == 0",
                                       "-T", "fields", "-e", "bacapp.instance_number")
                self.assertEqual(i_ams.split(), ["6000"])

                def who_has(network, *requests):
                    """The (device, analog-value instance) of every I-Have that answers each Who-Has."""
                    peer, ip, udp = lans[network]
                    broadcast = ip.rsplit(".", 1)[0] + ".255"
                    frames = [f"810b{len(r) // 2 + 8:04x}0100" "1007" + r for r in requests]
                    out = peer.run(["/usr/bin/python3", BVLC_CLIENT, "0.0.0.0", str(udp), broadcast, str(udp),
                                    *frames]).stdout
                    return [sorted((int(f[f.index("1001c4") + 6:][:8], 16) & 0x3FFFFF,
                                    int(f[f.index("1001c4") + 16:][:8], 16) & 0x3FFFFF)
                                   for f in answers if "1001c4" in f) for answers in json.loads(out)]

                by_id = lambda k: f"2c{ANALOG_VALUE << 22 | k:08x}"  # noqa: E731
                by_name = lambda text: f"3d{len(text) + 1:02x}00" + text.encode().hex()  # noqa: E731
                self.assertEqual(who_has(1, by_id(11), by_id(12), by_name("av11-of-8000"), by_name("av12-of-8000")),
                                 [[(5000, 11)], [(8000, 12)], [], [(8000, 12)]])
                self.assertEqual(who_has(2, by_id(11), by_id(12)), [[(6000, 11)], []])
                self.assertEqual(who_has(3, by_id(11), by_id(12), by_name("av11-of-8000")),
                                 [[(8000, 11)], [(8000, 12)], [(8000, 11)]])
            finally:
                api.close()
                host.quit()

    def test_a_set_up_takes_its_instance_over_from_a_remote_device(self):
        """The npm device answers as PEER until PEER is set up here; from then on every door of the
        API reaches the local device's object and none writes the remote one."""
        with netlab.Lab() as lab:
            setup = Lab(lab, trace=False)
            c = setup.client()
            try:
                self.assertEqual(c.text(f"{PEER} get:2.1.85", timeout=10), "21.500000")
                client = c.call(306).fields().u32()
                self.assertEqual(c.call(301, u32(1) + u32(PEER) + string("") * 7).payload, u32(0))
                put = c.call(308, u32(PEER) + u32(ANALOG_VALUE) + u32(1) + string("lokal") + u32(client)).fields()
                handle, result = put.u32(), put.i32()
                self.assertEqual(result, 0)
                self.assertEqual(c.call(305, u32(client) + u32(handle) + u32(0) + blob(in_tag0(real(11.5)))).payload,
                                 u32(0))
                read = c.call(304, u32(client) + u32(handle) + u8(0), timeout=5).fields()
                self.assertEqual((read_tag0_value(read.blob())[0], read.u32(), read.i32()), (11.5, 0, 0))
                av1 = "<OBJECTIDENTIFIER><OBJECTTYPE>2</OBJECTTYPE><INSTANCE>1</INSTANCE></OBJECTIDENTIFIER>"
                self.assertIn("<DATA>11.500000</DATA>", c.text(f"xml:readProperty<REQUEST><DEVICE>{PEER}</DEVICE>"
                                                               f"{av1}<PROPERTY>85</PROPERTY></REQUEST>", timeout=5))
                self.assertEqual(c.text(f"{PEER} set:2.1.85.8 33.5", timeout=5), "33.500000")
                self.assertEqual(c.text(f"{PEER} get:2.1.85", timeout=5), "33.500000")
                self.assertEqual(setup.device.seen("writeProperty"), [])
            finally:
                c.close()
                setup.stop()

    def test_broken_and_vanishing_clients_leave_the_others_served(self):
        with netlab.Lab() as lab:
            setup = Lab(lab, trace=False)
            good = setup.client()
            try:
                # A request to an address where nobody answers, then the client is gone.
                vanishing = setup.client()
                vanishing.send(102, read_at("10.111.1.77", 1))
                time.sleep(0.2)
                vanishing.close()
                # Broken headers and a claimed length far above the limit.
                for raw in (b"0000001x", b"99999999", b"-0000011"):
                    bad = setup.client()
                    bad.send_raw(raw + b"\0" * 16)
                    self.assertTrue(bad.wait_closed(timeout=5), raw)
                    bad.close()
                # A half frame that never completes.
                half = setup.client()
                half.send_raw(b"00000100" + b"\0" * 10)
                self.assertEqual(good.call(401).payload, u32(OWN))
                # The vanished client's request times out (3 s, one retry); its answer finds
                # nobody, and the server goes on.
                time.sleep(7)
                self.assertEqual(good.call(402).payload, u32(1))
                answer = good.call(102, read_at(setup.ip_b, 1))
                self.assertEqual(answer.payload[:5], u32(3) + u8(READ_PROPERTY))
                half.close()
            finally:
                good.close()
                setup.stop()


if __name__ == "__main__":
    netlab.require_root()
    unittest.main()
