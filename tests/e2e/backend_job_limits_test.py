"""The backend program on job files that go beyond the ordinary, inside network namespaces:
byte ranges that do not fit, File instances out of range, numbers beyond 32 bits, result
files that cannot be written, a folder for a job file, job files without end, link values
that are no address or port, and a scan that hears devices outside its range and devices
that never answer. Each function fails with its reason, the functions after it still run,
and the log always gets its end line."""

import json
import os
import resource
import subprocess
import sys
import unittest

TESTS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, TESTS)
from e2e.harness import backend_job as bj  # noqa: E402
from e2e.harness import netlab, programs  # noqa: E402

BROADCAST = "10.111.1.255"
# Far below the gigabyte a range may name: a buffer sized from the range instead of the data
# ends the program.
MEMORY_LIMIT = 800 * 1024 * 1024
# The program alone takes about 12 MB of address space; a job file of any size or content
# costs it no more than a few MB beside that.
JOB_FILE_MEMORY_LIMIT = 32 * 1024 * 1024
ABORTED = '--Function: "{}" aborted because of an error\n\n'
FILE_TOO_LARGE = ("--Reading configuration file\nERROR: Configuration file too large\n"
                  "\n-->Error while reading the configuration file\n")


def limited_memory(limit=MEMORY_LIMIT):
    resource.setrlimit(resource.RLIMIT_AS, (limit, limit))


class BackendJobLimits(bj.JobLabCase):
    def peer_lines(self):
        """Ends the peer and returns every JSON line it printed."""
        rest = bj.stop(self.peer)
        self.peer = None
        return [json.loads(line) for line in rest.splitlines() if line.startswith("{")]

    def run_job(self, text, **kw):
        return bj.run_job(self.backend, self.tmp, bj.general(self.tmp, self.ip_backend) + text, **kw)

    def transfer(self, name, todo, start, end, instance=1, file_key="RESULTFILE", file=None, device=1234):
        file = file or os.path.join(self.tmp, f"{name}.bin")
        return (f"[{name}]\nTODO={todo}\nDEVICE_ID={device}\nFILE_INSTANCE={instance}\nSTART={start}\nEND={end}\n"
                f"{file_key}={file}\n")

    def test_ranges_and_instances_that_name_no_valid_request_fail_with_their_reason(self):
        self.peer = bj.start_unit(self.unit_host, BROADCAST, self.unit_dir)
        os.makedirs(self.tmp, exist_ok=True)
        source = os.path.join(self.tmp, "source.bin")
        with open(source, "wb") as f:
            f.write(bytes(range(20)))
        job = (self.transfer("W_WRAPS", "WRITE", -1, 2147483647, file_key="SOURCEFILE", file=source)
               + self.transfer("W_SHORT", "WRITE", 0, 1000000000, file_key="SOURCEFILE", file=source)
               + self.transfer("R_BACKWARDS", "READ", 10, 4)
               + self.transfer("R_INSTANCE", "READ", 0, 4, instance=4194305)
               + self.transfer("R_LONG", "READ", 0, 1000000000)
               # Each of these wrapped to a valid request (File 2, device 1234, octets 0-9).
               + self.transfer("R_INSTANCE_WRAPS", "READ", 0, 4, instance=4294967298)
               + self.transfer("R_DEVICE_WRAPS", "READ", 0, 4, device=4294968530)
               + self.transfer("R_RANGE_WRAPS", "READ", 4294967296, 4294967306)
               + bj.read_section(1, self.tmp))
        done, log = self.run_job(job, preexec_fn=limited_memory)
        self.assertEqual((done.returncode, done.stderr), (0, ""), log)
        for name, reason in (("W_WRAPS", "ERROR: END - START is out of range"),
                             ("W_SHORT", "ERROR: Unknown error while reading BACnet file object"),
                             ("R_BACKWARDS", "ERROR: START > END"),
                             ("R_INSTANCE", "ERROR: File instance is out of range"),
                             ("R_LONG", "ERROR: The returning data does not match the requested length"),
                             ("R_INSTANCE_WRAPS", "ERROR: File instance is out of range"),
                             ("R_DEVICE_WRAPS", "ERROR: BACnet Device ID is out of range"),
                             ("R_RANGE_WRAPS", "ERROR: START is out of range\nERROR: END is out of range")):
            self.assertIn(reason + "\n" + ABORTED.format(name), log)
        self.assertIn('--Function: "READ_1" successful finished\n\n', log)
        self.assert_end_line(log, "-->Error while executing the functions")
        with open(os.path.join(self.tmp, "R_LONG.bin"), "rb") as f:
            self.assertEqual(f.read(), self.contents[1])  # what the answer carried

        served = self.peer_lines()
        # A valid range goes on the wire as it is; the refused ones send nothing at all.
        self.assertEqual([r["readFile"] for r in served if "readFile" in r],
                         [{"instance": 1, "position": 0, "count": 1000000000},
                          {"instance": 1, "position": 0, "count": bj.SIZES[1]}])
        self.assertEqual([r for r in served if "writeFile" in r], [])
        # Only W_SHORT, R_LONG and READ_1 get as far as the model check.
        self.assertEqual([r["readProperty"] for r in served if "readProperty" in r],
                         [{"type": 8, "instance": 1234, "property": 70}] * 3)

    def test_scan_and_skip_numbers_beyond_32_bits_are_read_in_full(self):
        self.peer = bj.start_unit(self.unit_host, BROADCAST, self.unit_dir)
        scan = "[{}]\nTODO=SCAN_DEVICE\nRANGE_LOW={}\nRANGE_HIGH={}\nSCAN_TIME={}\nRESULTFILE=" + self.tmp + "/{}.csv\n"
        # They wrapped to 0, 10, 1 and 1: two scans of 0-10, a refused one, and one function skipped.
        job = (scan.format("SCAN_LOW", 4294967296, 10, 0, "low")
               + scan.format("SCAN_TIME", 0, 10, 4294967297, "time")
               + scan.format("SCAN_HIGH", 1234, 4294967306, 1, "high")
               + "[SKIP]\nTODO=READ\nON_ERROR_SKIP_NEXT=4294967297\n"
               + bj.read_section(1, self.tmp) + bj.read_section(2, self.tmp))
        done, log = self.run_job(job)
        self.assertIn("ERROR: RANGE_LOW > RANGE_HIGH\n" + ABORTED.format("SCAN_LOW"), log)
        self.assertIn("ERROR: SCAN_TIME is out of range\n" + ABORTED.format("SCAN_TIME"), log)
        self.assertIn('WARNING: RANGE_HIGH out of Range --> reset to maximum value "4194302"\n', log)
        self.assertIn('--Function: "SCAN_HIGH" successful finished\n\n', log)
        self.assertNotIn('--Function: "READ_', log)
        self.assert_end_line(log, "-->Error while executing the functions")
        with open(os.path.join(self.tmp, "high.csv")) as f:
            self.assertEqual(sorted(f.read().split("\n")[1:-1]), ["1234;ZOR17 Raum;1.0", "4711;ZOR17-Server;1.0.0.2"])

        served = self.peer_lines()
        # The start-up Who-Is for the backend itself, then only the scan that fits.
        self.assertEqual([(r["whoIs"]["low"], r["whoIs"]["high"]) for r in served if "whoIs" in r],
                         [(4711, 4711), (1234, 4194302)])
        self.assertEqual([r for r in served if "readFile" in r], [])

    def test_local_device_beyond_32_bits_is_a_configuration_error(self):
        self.peer = bj.start_unit(self.unit_host, BROADCAST, self.unit_dir)
        done, log = bj.run_job(self.backend, self.tmp,
                               bj.general(self.tmp, self.ip_backend, local_id=4294971007) + bj.read_section(1, self.tmp))
        self.assertTrue(log.endswith("--Reading configuration file\nERROR: BACnet Device ID is out of range\n"
                                     "\n-->Error while reading the configuration file\n"), log)
        self.assertEqual([r for r in self.peer_lines() if "whoIs" in r], [])  # the stack never started

    def test_job_files_without_end_cost_a_few_megabytes_and_end_with_the_configuration_error(self):
        self.peer = bj.start_unit(self.unit_host, BROADCAST, self.unit_dir)
        os.makedirs(self.tmp, exist_ok=True)
        head = os.path.join(self.tmp, "head.ini")
        with open(head, "w") as f:
            f.write(bj.general(self.tmp, self.ip_backend) + bj.read_section(1, self.tmp))
        # Nothing but zeros: no section at all, so no log either. The same behind a whole job:
        # the log tells why nothing ran.
        for command, files in (('"$1" /dev/zero', ["head.ini"]),
                               ('cat "$2" /dev/zero | "$1" /dev/stdin', ["head.ini", "logfile.txt"])):
            done = self.backend.run(["/bin/sh", "-c", command, "sh", programs.program("ZOR17"), head],
                                    timeout=60, check=False, preexec_fn=lambda: limited_memory(JOB_FILE_MEMORY_LIMIT))
            self.assertEqual((done.returncode, done.stdout, done.stderr), (0, "", ""), command)
            self.assertEqual(sorted(os.listdir(self.tmp)), files, command)
        with open(os.path.join(self.tmp, "logfile.txt")) as f:
            self.assertEqual(f.read(), FILE_TOO_LARGE)
        self.assertEqual([r for r in self.peer_lines() if "whoIs" in r], [])  # the stack never started

    def test_a_job_far_longer_than_any_section_runs_every_function(self):
        self.peer = bj.start_unit(self.unit_host, BROADCAST, self.unit_dir)
        # About 260,000 characters; the results go nowhere, so that the test costs the reads alone.
        job = "".join(f"[FUNCTION_{n}]\nTODO=READ\nDEVICE_ID=1234\nFILE_INSTANCE=5\nSTART=0\nEND=2\n"
                      "RESULTFILE=/dev/null\nSTOP_ON_ERROR=0\nON_ERROR_SKIP_NEXT=0\n" for n in range(1, 2001))
        done, log = self.run_job(job)
        # Each read got the octets it asked for from the unit; the reading of the file counts once.
        self.assertEqual(log.count(" successful finished\n\n"), 2001, log[-2000:])
        self.assert_end_line(log, "-->Successful finished")

    def test_result_files_that_cannot_be_written_fail_the_function(self):
        self.peer = bj.start_unit(self.unit_host, BROADCAST, self.unit_dir)
        job = (self.transfer("READ_FULL", "READ", 0, bj.SIZES[1], file="/dev/full")
               + "[SCAN_FULL]\nTODO=SCAN_DEVICE\nRANGE_LOW=0\nRANGE_HIGH=10\nSCAN_TIME=0\nRESULTFILE=/dev/full\n")
        done, log = self.run_job(job)
        for name in ("READ_FULL", "SCAN_FULL"):
            self.assertIn('WARNING: Can not create or write file "/dev/full"!\n' + ABORTED.format(name), log)
        self.assert_end_line(log, "-->Error while executing the functions")

    def test_a_folder_as_job_file_is_a_missing_job_file(self):
        os.makedirs(self.tmp, exist_ok=True)
        done = self.backend.run([programs.program("ZOR17"), self.tmp], timeout=30, check=False)
        self.assertEqual((done.returncode, done.stdout, done.stderr), (0, "", ""))
        self.assertEqual(os.listdir(self.tmp), [])

    def test_link_values_other_than_an_address_and_a_port_end_with_the_configuration_error(self):
        self.peer = bj.start_unit(self.unit_host, BROADCAST, self.unit_dir)
        for ip, port in ((f"{self.ip_backend};UDPPORT=47809", "47808"), (self.ip_backend, "abc")):
            job = (f"[GENERAL]\nLOGFILE={self.tmp}/logfile.txt\nLOCAL_DEVICE_ID=4711\nLINK=BACnet_IP\n"
                   f"[BACnet_IP]\nIP={ip}\nPORT={port}\n" + bj.scan_section(self.tmp, seconds=1))
            done, log = bj.run_job(self.backend, self.tmp, job)
            self.assertTrue(log.endswith(f"# IP-Address: {ip}\n# Port: {port}\n"
                                         "ERROR: Unknown connection configuration\n"
                                         "\n-->Error while reading the configuration file\n"), log)
            self.assertFalse(os.path.exists(os.path.join(self.tmp, "result.csv")))
        self.assertEqual([r for r in self.peer_lines() if "whoIs" in r], [])  # the stack never started

    def test_scan_lists_only_its_range_and_does_not_wait_twice_for_a_silent_device(self):
        self.peer = self.unit_host.popen(
            ["/usr/bin/python3", os.path.join(TESTS, "e2e", "tools", "silent_devices.py"),
             json.dumps({"devices": [1001, 1002, 3000001, 5]})],
            stdout=subprocess.PIPE, text=True)
        self.assertEqual(json.loads(self.peer.stdout.readline()), {"ready": True})
        job = ("[SCAN]\nTODO=SCAN_DEVICE\nRANGE_LOW=1000\nRANGE_HIGH=5000\nSCAN_TIME=1\n"
               f"RESULTFILE={self.tmp}/result.csv\n")
        done, log = self.run_job(job)
        self.assert_end_line(log, "-->Successful finished")
        with open(os.path.join(self.tmp, "result.csv")) as f:
            lines = f.read().split("\n")
        self.assertEqual(lines[0], "Device ID; Device Name; SoftwareVersion")
        self.assertCountEqual(lines[1:-1], ["4711;ZOR17-Server;1.0.0.2", "1001;;", "1002;;"])

        served = self.peer_lines()
        self.assertIn({"whoIs": True}, served)
        asked = {}
        for r in served:
            if "request" in r:
                # ReadProperty of the Device object: its property identifier follows the tag 0x19.
                apdu = bytes.fromhex(r["apdu"])
                self.assertEqual(apdu[3], 12, r)
                asked.setdefault(r["request"], set()).add(apdu[apdu.index(0x19, 4) + 1])
        # The object name is asked once; a device that let it run out is not asked again.
        self.assertEqual(asked, {1001: {77}, 1002: {77}})


if __name__ == "__main__":
    netlab.require_root()
    unittest.main()
