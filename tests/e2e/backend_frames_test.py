"""The frames a backend job sends, captured in the lab and dissected by tshark: the start-up
announces the device and asks for itself, and its own I-Am answer and the job's requests follow
in order, however fast the stack's threads wake."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e.harness import backend_job as bj  # noqa: E402
from e2e.harness import capture, netlab  # noqa: E402

BROADCAST = "10.111.1.255"
OWN = 4711
# Global broadcasts (DNET 65535) of the local device: I-Am with 480 octets, segmented both and
# the maker's vendor id, and Who-Is for one instance.
I_AM = "810b00190120ffff00ff1000c4020012672201e09100220589"
WHO_IS_OWN = "810b00120120ffff00ff10080a12671a1267"
WHO_IS_UNIT = "810b00120120ffff00ff10080a04d21a04d2"


class BackendFrames(unittest.TestCase):
    def test_start_up_frames_all_leave_before_the_first_request_and_in_order(self):
        with netlab.Lab() as lab:
            backend, unit_host = lab.host("backend"), lab.host("unit")
            ip_backend, ip_unit = lab.link(backend, unit_host)
            work = bj.work_folder()
            unit_dir = os.path.join(work, "unit")
            bj.unit_files(unit_dir)
            unit = bj.start_unit(unit_host, BROADCAST, unit_dir)
            tmp = os.path.join(work, "tmp")
            job = bj.general(tmp, ip_backend, local_id=OWN) + "".join(bj.read_section(i, tmp) for i in (1, 4))
            for run in range(3):
                cap = capture.Capture(backend, backend.addresses[0][0], "udp port 47808", name=f"job{run}")
                _, log = bj.run_job(backend, tmp, job)
                path = cap.stop()
                self.assertIn("-->Successful finished", log)
                capture.assert_clean(path, expect_frames=10)
                rows = capture.fields(path, "ip.src", "udp.payload")
                ours = [payload for src, payload in rows if src == ip_backend]
                self.assertEqual(ours[:2], [I_AM, WHO_IS_OWN], f"run {run}")
                # The answer to our own Who-Is normally leaves before the job's Who-Is; the wait
                # for it is bounded by 5 ms, so a machine short of processors may swap the two.
                self.assertEqual(sorted(ours[2:4]), sorted([I_AM, WHO_IS_UNIT]), f"run {run}")
                # Then each read: the model-name check and the file read, one after the other.
                services = [payload[18:20] for payload in ours[4:]]
                self.assertEqual(services, ["0c", "06", "0c", "06"], f"run {run}")
                self.assertTrue(all(src == ip_unit for src, _ in rows[4:] if src != ip_backend))
            bj.stop(unit)


if __name__ == "__main__":
    netlab.require_root()
    unittest.main()
