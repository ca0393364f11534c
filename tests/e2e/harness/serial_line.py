"""A serial line between the configuration program and a Modbus unit, without any network.

socat joins two pseudo-terminals and records every octet in both directions (`socat -x`);
the simulated unit (tests/peers/modbus_unit.py on Debian's pymodbus) serves one end, the
program under test gets the other as COM1 through ZOR17_COM1.

    with SerialLine("rtu", values) as line:
        result = line.run_program("form_frm_config_modbus_live_test", ["readOutShowsTheUnitsValues"])
    to_unit, to_master = line.wire()
    state = line.dump()

The other serial-line tests share its pseudo-terminal helpers: socat_pair and socat_streams, and
PtyHub behind the MS/TP bus and the fake modem.
"""

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import tty

from e2e.harness import programs

SKIP = 77
PYTHON = "/usr/bin/python3"
TESTS = os.environ.get("ZOR17_TESTS", os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))


def socat_pair(directory, log):
    """Two pseudo-terminals joined by socat, which records every octet (-x) to the open file `log`:
    (the socat process, the path of one end, the path of the other)."""
    ends = os.path.join(directory, "end_a"), os.path.join(directory, "end_b")
    proc = subprocess.Popen(["socat", "-x", f"pty,raw,echo=0,link={ends[0]}", f"pty,raw,echo=0,link={ends[1]}"],
                            stderr=log)
    deadline = time.time() + 5
    while not all(os.path.exists(e) for e in ends):
        if time.time() > deadline:
            proc.kill()
            raise RuntimeError("socat made no pty pair")
        time.sleep(0.02)
    return proc, ends[0], ends[1]


def socat_streams(log_text):
    """The octets a socat -x log shows in each direction: (first end to second, second to first)."""
    streams = {">": bytearray(), "<": bytearray()}
    direction = None
    for row in log_text.splitlines():
        if re.match(r"^[<>] \d{4}/", row):
            direction = row[0]
        elif direction and row.startswith(" "):
            streams[direction] += bytes.fromhex(row.strip())
    return bytes(streams[">"]), bytes(streams["<"])


class PtyHub:
    """Pseudo-terminals served by a thread of the test (`_run`, until the hub closes): a station
    opens the slave end by `path(i)`, the hub reads and writes the master ends. Each slave is raw
    until a station sets its own mode, and held open so that the hub never reads a hang-up while
    a station is not (yet) there."""

    def __init__(self, count):
        self.ends = []
        for _ in range(count):
            master, slave = os.openpty()
            tty.setraw(slave)
            self.ends.append((master, slave, os.ttyname(slave)))
        self._lock = threading.Lock()
        self._running = True
        self._thread = threading.Thread(target=self._run, daemon=True)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._running = False
        self._thread.join(timeout=5)
        for master, slave, _ in self.ends:
            os.close(master)
            os.close(slave)
        return False

    def path(self, index):
        return self.ends[index][2]

    def _run(self):
        raise NotImplementedError


def require_tools():
    """Ends the test as skipped when socat or pymodbus is missing."""
    if not shutil.which("socat"):
        print("SKIP: socat is not installed")
        sys.exit(SKIP)
    probe = subprocess.run([PYTHON, "-c", "import pymodbus"], capture_output=True)
    if probe.returncode != 0:
        print("SKIP: python3-pymodbus is not installed")
        sys.exit(SKIP)


def crc16(data):
    """The Modbus CRC as the unit's side computes it (pymodbus), low byte first on the wire."""
    from pymodbus.utilities import computeCRC
    value = computeCRC(data)
    return bytes([value >> 8, value & 0xFF])


def lrc(data):
    return (-sum(data)) & 0xFF


def rtu(hex_text):
    data = bytes.fromhex(hex_text)
    return data + crc16(data)


def ascii_frame(hex_text):
    data = bytes.fromhex(hex_text)
    return b":" + hex_text.upper().encode() + b"%02X" % lrc(data) + b"\r\n"


class SerialLine:
    def __init__(self, framer, values, silent=False):
        self.framer = framer
        self.values = values
        self.silent = silent
        self.dir = None
        self.socat = None
        self.unit = None

    def __enter__(self):
        self.dir = tempfile.mkdtemp(prefix="zor17-serial-")
        self.log_path = os.path.join(self.dir, "wire.log")
        self.values_path = os.path.join(self.dir, "values.json")
        self.dump_path = os.path.join(self.dir, "dump.json")
        with open(self.values_path, "w") as f:
            json.dump(self.values, f)
        self._log = open(self.log_path, "w")
        self.socat, self.master_end, self.unit_end = socat_pair(self.dir, self._log)
        args = [PYTHON, os.path.join(TESTS, "peers", "modbus_unit.py"), "--device", self.unit_end,
                "--framer", self.framer, "--values", self.values_path, "--dump", self.dump_path]
        if self.silent:
            args.append("--silent")
        self.unit = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        line = self.unit.stdout.readline()
        if line.strip() != "ready":
            raise RuntimeError("the Modbus unit did not start: " + line + self.unit.stderr.read())
        return self

    def run_program(self, name, functions, timeout=60):
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", TZ="Europe/Berlin",
                   ZOR17_COM1=self.master_end, ZOR17_MODBUS_LIVE=self.framer,
                   ZOR17_MODBUS_VALUES=self.values_path, ZOR17_MODBUS_DUMP=self.dump_path)
        return subprocess.run([programs.program(name)] + list(functions), env=env, capture_output=True,
                              text=True, timeout=timeout)

    def __exit__(self, *exc):
        for proc in (self.unit, self.socat):
            if proc and proc.poll() is None:
                proc.send_signal(signal.SIGTERM)
                try:
                    proc.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        if self.unit:
            self.unit.stdout.close()
            self.unit.stderr.close()
        self._log.close()
        with open(self.log_path) as f:
            self._wire_text = f.read()
        try:
            with open(self.dump_path) as f:
                self._dump = json.load(f)
        except (OSError, ValueError):
            self._dump = {}
        shutil.rmtree(self.dir, ignore_errors=True)
        return False

    def wire(self):
        """The octets socat saw: (master to unit, unit to master)."""
        return socat_streams(self._wire_text)

    def dump(self):
        """The unit's datastore at the end: {"hr": {address: value}, "co": {address: 1}}."""
        return self._dump
