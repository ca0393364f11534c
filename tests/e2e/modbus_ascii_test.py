"""The Modbus ASCII master against the simulated unit on a pty pair: read-out, write chain,
monitor and time-out, with the octets on the wire checked; and the configuration window with a
unit that falls silent under the close box and with an address no unit answers to."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from e2e import modbus_master_cases  # noqa: E402

if __name__ == "__main__":
    modbus_master_cases.main("ascii")
