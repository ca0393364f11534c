"""How long the Modbus read-out of the configuration window takes, against the time the
octets it exchanges need on the line at 38400 baud.

Runs the window (the live Qt program) against the simulated unit on a socat pty pair in
RTU and in ASCII framing, takes the read-out's duration from the program (opening the
port to the last answer) and counts the octets socat saw in both directions. The line time
counts 10 bits per octet for RTU (8N1) and 9 for ASCII (7N1). Prints figures, asserts
nothing. The request timers' intervals, not the line, set the pace: the ratio says how
much of the read-out is waiting.

    /usr/bin/python3 bench/modbus_readout_bench.py [folder of the built programs]
"""

import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests"))
os.environ.setdefault("ZOR17_TESTS", os.path.join(ROOT, "tests"))
if len(sys.argv) > 1:
    os.environ["ZOR17_BIN"] = os.path.abspath(sys.argv[1])
os.environ.setdefault("ZOR17_BIN", os.path.join(ROOT, "build", "default", "bin"))

from e2e import modbus_master_cases  # noqa: E402
from e2e.harness import serial_line  # noqa: E402

BAUD = 38400
BITS_PER_OCTET = {"rtu": 10, "ascii": 9}
RUNS = 3


def one_run(framer):
    with serial_line.SerialLine(framer, modbus_master_cases.UNIT_VALUES) as line:
        result = line.run_program(modbus_master_cases.PROGRAM, ["readOutDuration"])
    found = re.search(r"readout_ms=(\d+)", result.stdout)
    if result.returncode != 0 or not found:
        raise RuntimeError(result.stdout[-2000:] + result.stderr[-1000:])
    to_unit, to_master = line.wire()
    return int(found.group(1)), len(to_unit), len(to_master)


def main():
    serial_line.require_tools()
    print(f"{'framing':8} {'read-out ms':>12} {'octets out':>11} {'octets in':>10} {'line ms':>9} {'ratio':>8}")
    for framer in ("rtu", "ascii"):
        for _ in range(RUNS):
            duration, out, back = one_run(framer)
            line_ms = (out + back) * BITS_PER_OCTET[framer] * 1000.0 / BAUD
            print(f"{framer:8} {duration:12d} {out:11d} {back:10d} {line_ms:9.1f} {duration / line_ms:8.1f}")


if __name__ == "__main__":
    main()
