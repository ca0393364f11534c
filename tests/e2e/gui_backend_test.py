"""The configuration window, offscreen, with the real backend program against a simulated ZOR17
unit (@bacnet-js/client) in network namespaces: scan, device list, read, write and monitor.
The window's side is the Qt test program form_frm_config_backend_e2e_test; this test builds
the lab, starts the unit and runs that program in the other host."""

import os
import shutil
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e.harness import backend_job as bj  # noqa: E402
from e2e.harness import netlab, programs  # noqa: E402

BROADCAST = "10.111.1.255"


class WindowWithBackend(unittest.TestCase):
    def test_window_scans_reads_writes_and_monitors_the_unit(self):
        form = programs.program("form_frm_config_backend_e2e_test")
        backend = programs.program("ZOR17")
        unit_dir = tempfile.mkdtemp(prefix="zor17-gui-unit-")
        self.addCleanup(shutil.rmtree, unit_dir, True)
        bj.unit_files(unit_dir)
        with netlab.Lab() as lab:
            window_host, unit_host = lab.host("window"), lab.host("unit")
            ip_window, _ = lab.link(window_host, unit_host)
            unit = bj.start_unit(unit_host, BROADCAST, unit_dir, name="Raum 12", version="2.1")
            try:
                env = dict(os.environ, QT_QPA_PLATFORM="offscreen", TZ="Europe/Berlin",
                           ZOR17_E2E_LOCAL_IP=ip_window, ZOR17_E2E_BACKEND=backend,
                           ZOR17_E2E_UNIT_FILES=unit_dir)
                done = window_host.run([form], env=env, check=False, timeout=120)
            finally:
                bj.stop(unit)
        if os.environ.get("ZOR17_E2E_SHOW"):
            print(done.stdout)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertNotIn("SKIP", done.stdout)
        self.assertIn("Totals: 8 passed, 0 failed, 0 skipped", done.stdout, done.stdout)

        # What the unit holds now, read back from its own files.
        with open(os.path.join(unit_dir, "file1.bin"), "rb") as f:
            conf = f.read()
        self.assertEqual(len(conf), bj.SIZES[1])
        self.assertEqual(struct.unpack_from("<h", conf, 40 * 2)[0], -45)
        self.assertEqual(struct.unpack_from("<h", conf, 38 * 2)[0], 215)
        with open(os.path.join(unit_dir, "file5.bin"), "rb") as f:
            self.assertEqual(f.read(), bytes([0x07, 0x80]))


if __name__ == "__main__":
    netlab.require_root()
    unittest.main()
