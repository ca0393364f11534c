"""The Modbus master against the simulated unit (pymodbus) on a pty pair, in one framing: the
read-out shows the unit's values, a write chain lands in the unit's datastore, the monitor
decodes live values, silence gives the time-out. The master runs alone in the live Qt program;
the octets on the wire, recorded by socat, are checked here against frames built with
pymodbus' own CRC and the standard LRC. The configuration window itself, used as a technician
uses it, runs in the window's program: a unit that stops answering under the close box, and an
address no unit answers to."""

import os
import sys
import unittest
from unittest import mock

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e.harness import serial_line  # noqa: E402

PROGRAM = "form_frm_config_modbus_live_test"
WINDOW = "form_frm_config_modbus_e2e_test"

# Each framing runs the window in one of its languages: both are seen by use, and each framing
# waits through the ten seconds of a time-out only once per case.
LANGUAGE = {"rtu": "deutsch", "ascii": "english"}

# The unit's start values: registers by address, coils set.
UNIT_VALUES = {
    "hr": {
        "2": 12, "3": 1, "4": 26, "20": 1, "28": 1, "32": 3, "33": 5, "34": 215, "35": 0xFFCE, "36": 30,
        "37": 5, "38": 220, "40": 200, "43": 4, "50": 990, "59": 3, "60": 1, "72": 2,
        **{str(r): 1 for r in range(61, 69)},
        **{str(0x200 + i): i for i in range(7, 26)},
        str(0x200 + 9): 0xFF9C, str(0x200 + 12): 215, str(0x200 + 26): 2, str(0x200 + 27): 1,
        "256": 0xF005, "257": 0xFFFF, "258": 0x00E1, "263": 0xFFFF, "271": 5, "272": 1,
    },
    "co": {"0": 1, "24": 1, "31": 1, str(0x100 + 3): 1},
}

# The connection test and the read-out of slave 1, request by request.
READ_OUT = ["010300210001"] + ["0103%04X000A" % start for start in range(0, 80, 10)] + [
    "010100000020", "010302070015", "010101000010"]


class ModbusMasterCases:
    framer = None  # "rtu" or "ascii", set by the test module

    def frame(self, hex_text):
        return serial_line.rtu(hex_text) if self.framer == "rtu" else serial_line.ascii_frame(hex_text)

    def run_live(self, functions, silent=False):
        with serial_line.SerialLine(self.framer, UNIT_VALUES, silent=silent) as line:
            result = line.run_program(PROGRAM, functions)
        self.assert_passed(result)
        return line

    def run_window(self, function):
        """One function of the window's program, in this framing's language. The program may stop
        the unit (SIGSTOP, as a unit loses its power); a stopped unit takes no signal but SIGKILL,
        and its datastore stays as its last write left it."""
        with serial_line.SerialLine(self.framer, UNIT_VALUES) as line:
            with mock.patch.dict(os.environ, ZOR17_MODBUS_UNIT_PID=str(line.unit.pid)):
                result = line.run_program(WINDOW, [f"{function}:{LANGUAGE[self.framer]}"])
            line.unit.kill()
            line.unit.wait()
        self.assert_passed(result)
        return line

    def assert_passed(self, result):
        self.assertEqual(result.returncode, 0, result.stdout[-4000:] + result.stderr[-2000:])
        self.assertNotIn("SKIP", result.stdout)

    def test_read_out_shows_the_units_values(self):
        line = self.run_live(["readOutShowsTheUnitsValues"])
        to_unit, to_master = line.wire()
        self.assertEqual(to_unit, b"".join(self.frame(r) for r in READ_OUT))
        # Every answer on the wire carries a good check sum.
        if self.framer == "ascii":
            answers = [a for a in to_master.split(b"\r\n") if a]
            self.assertEqual(len(answers), len(READ_OUT))
            for a in answers:
                body = bytes.fromhex(a[1:].decode())
                self.assertEqual(sum(body) & 0xFF, 0)
        else:
            self.assertEqual(to_master[:7], serial_line.rtu("0103020005"))

    def test_write_chain_lands_in_the_unit(self):
        line = self.run_live(["writeChainLandsInTheUnit"])
        hr = {int(k): v for k, v in line.dump()["hr"].items()}
        co = {int(k) for k, v in line.dump()["co"].items() if v}
        self.assertEqual(hr[40], 215)
        self.assertNotIn(20, hr)  # written as 0
        self.assertEqual(hr[33], 7)
        self.assertEqual(hr[34], 215)
        self.assertEqual(hr[35], 0xFFCE)
        self.assertEqual(hr[0x200 + 12], 195)
        self.assertEqual(hr[0x200 + 20], 0xFFF6)
        # The clock fields go out as their digits: 5 March 2026, 09:07:03.
        for i, value in enumerate([0x03, 0x07, 0x09, 0x05, 0x03, 0x26]):
            self.assertEqual(hr[0x200 + i], value, i)
        self.assertEqual(co, {0, 9, 24, 31, 0x102, 0x103})
        to_unit, _ = line.wire()
        for request in ["0110020C00010200C3", "01100214000102FFF6", "010F000000200401020081",
                        "010F01000010020C00", "01100205000102" + "0026"]:
            self.assertIn(self.frame(request), to_unit, request)
        # After the write the unit is read again.
        self.assertTrue(to_unit.endswith(b"".join(self.frame(r) for r in READ_OUT[1:])))

    def test_monitor_decodes_live_values(self):
        line = self.run_live(["monitorDecodesLiveValues"])
        to_unit, _ = line.wire()
        self.assertIn(self.frame("010301000011"), to_unit)

    def test_silence_gives_the_time_out(self):
        line = self.run_live(["silenceGivesTheTimeOut"], silent=True)
        to_unit, to_master = line.wire()
        self.assertEqual(to_unit, self.frame("010300210001"))
        self.assertEqual(to_master, b"")

    def test_a_unit_silent_under_the_close_box_is_reported_before_the_end(self):
        line = self.run_window("aUnitSilentUnderTheCloseBoxIsReportedBeforeTheEnd")
        hr = {int(k): v for k, v in line.dump()["hr"].items()}
        self.assertEqual(hr[4], 77)
        self.assertEqual(hr[50], 990)

    def test_an_address_no_unit_answers_to_gives_the_time_out(self):
        line = self.run_window("anAddressNoUnitAnswersToGivesTheTimeOut")
        to_unit, _ = line.wire()
        self.assertEqual(to_unit, b"")
        hr = {int(k): v for k, v in line.dump()["hr"].items()}
        self.assertEqual((hr[4], hr[50]), (26, 990))


def main(framer):
    serial_line.require_tools()
    ModbusMasterCases.framer = framer
    case = type("ModbusMaster_" + framer, (ModbusMasterCases, unittest.TestCase), {})
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(case)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if result.wasSuccessful() else 1)
