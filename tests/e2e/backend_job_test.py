"""The backend program on real job files against a simulated ZOR17 unit (@bacnet-js/client),
inside network namespaces: scans, reads and writes, with the exact files and log lines of
every success and failure path."""

import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e.harness import backend_job as bj  # noqa: E402
from e2e.harness import netlab  # noqa: E402

BROADCAST = "10.111.1.255"
# Takes the BACnet/IP port before the backend can.
PORT_HOLDER = """
import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("0.0.0.0", 47808))
print("holding", flush=True)
time.sleep(60)
"""


class BackendJobs(bj.JobLabCase):
    def start_unit(self, **options):
        self.peer = bj.start_unit(self.unit_host, BROADCAST, self.unit_dir, **options)

    def test_read_of_the_five_blocks_copies_the_units_octets(self):
        self.start_unit()
        job = bj.general(self.tmp, self.ip_backend) + "".join(bj.read_section(i, self.tmp) for i in bj.READ_ORDER)
        done, log = bj.run_job(self.backend, self.tmp, job)
        self.assertEqual(done.returncode, 0)
        self.assert_end_line(log, "-->Successful finished")
        for i in bj.READ_ORDER:
            with open(os.path.join(self.tmp, f"file{i}.bin"), "rb") as f:
                self.assertEqual(f.read(), self.contents[i], f"file{i}.bin")
            self.assertIn(f'--Function: "READ_{i}" successful finished\n\n', log)
        self.assertIn("#Starttime: ", log)
        self.assertIn("#Endtime: ", log)

    def test_write_puts_the_source_octets_into_the_unit(self):
        self.start_unit()
        sources = {}
        os.makedirs(self.tmp, exist_ok=True)
        for i in bj.WRITE_ORDER:
            data = bytes((200 + i + k) % 256 for k in range(bj.SIZES[i]))
            path = os.path.join(self.tmp, f"file{i}.bin")
            with open(path, "wb") as f:
                f.write(data)
            sources[i] = (path, data)
        job = bj.general(self.tmp, self.ip_backend) + "".join(bj.write_section(i, sources[i][0]) for i in bj.WRITE_ORDER)
        done, log = bj.run_job(self.backend, self.tmp, job)
        self.assert_end_line(log, "-->Successful finished")
        for i in bj.WRITE_ORDER:
            with open(os.path.join(self.unit_dir, f"file{i}.bin"), "rb") as f:
                self.assertEqual(f.read(), sources[i][1], f"unit file {i}")
        with open(os.path.join(self.unit_dir, "file2.bin"), "rb") as f:
            self.assertEqual(f.read(), self.contents[2], "the output block is never written")

    def test_scan_lists_the_unit_and_the_backend_in_arrival_order(self):
        # A ";" in a text would split it into two fields of the list.
        self.start_unit(name="Boiler;Room 2", version="2;1")
        job = bj.general(self.tmp, self.ip_backend) + bj.scan_section(self.tmp, seconds=1)
        done, log = bj.run_job(self.backend, self.tmp, job)
        self.assert_end_line(log, "-->Successful finished")
        with open(os.path.join(self.tmp, "result.csv")) as f:
            lines = f.read().split("\n")
        self.assertEqual(lines[0], "Device ID; Device Name; SoftwareVersion")
        self.assertEqual(lines[-1], "")
        self.assertCountEqual(lines[1:-1], ["1234;Boiler Room 2;2 1", "4711;ZOR17-Server;1.0.0.2"])

    def failing_read(self, expected_error, **unit_options):
        self.start_unit(**unit_options)
        job = bj.general(self.tmp, self.ip_backend) + bj.read_section(1, self.tmp)
        done, log = bj.run_job(self.backend, self.tmp, job)
        self.assertEqual(done.returncode, 0)
        self.assertIn(expected_error + '\n--Function: "READ_1" aborted because of an error\n\n', log)
        self.assert_end_line(log, "-->Error while executing the functions")
        return log

    def test_short_answer_keeps_the_octets_and_fails(self):
        self.failing_read("ERROR: The returning data does not match the requested length", mode="short")
        with open(os.path.join(self.tmp, "file1.bin"), "rb") as f:
            self.assertEqual(f.read(), self.contents[1][:73])

    def test_bacnet_error_is_logged_with_its_code(self):
        self.failing_read("ERROR: BACnet error-code 2", mode="error", errorClass=5, errorCode=2)

    def test_unit_of_another_model_is_refused(self):
        self.failing_read("ERROR: The communication with this BACnet device is not allowed!", model="OTHER_UNIT")

    def test_silent_unit_ends_with_the_unknown_error(self):
        self.failing_read("ERROR: Unknown error while reading BACnet file object", mode="silent")

    def test_missing_unit_is_refused_by_the_model_check(self):
        job = bj.general(self.tmp, self.ip_backend) + bj.read_section(1, self.tmp, device=999)
        done, log = bj.run_job(self.backend, self.tmp, job)
        self.assertIn("ERROR: The communication with this BACnet device is not allowed!\n", log)
        self.assert_end_line(log, "-->Error while executing the functions")

    def test_port_that_cannot_open_ends_without_connection(self):
        holder = self.backend.popen(["/usr/bin/python3", "-c", PORT_HOLDER], stdout=subprocess.PIPE, text=True)
        self.assertEqual(holder.stdout.readline().strip(), "holding")
        job = bj.general(self.tmp, self.ip_backend) + bj.read_section(1, self.tmp)
        done, log = bj.run_job(self.backend, self.tmp, job)
        bj.stop(holder)
        self.assertTrue(log.endswith("ERROR: Can not establish BACnet connection\n"), log)
        self.assertEqual(bj.end_lines(log), [])


if __name__ == "__main__":
    netlab.require_root()
    unittest.main()
