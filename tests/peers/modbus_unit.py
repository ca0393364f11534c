"""A simulated ZOR17 room unit as a Modbus slave (Debian's pymodbus) on a serial device.

Usage: /usr/bin/python3 modbus_unit.py --device /tmp/pty-b --framer rtu|ascii [--unit 1]
       [--values values.json] [--dump state.json] [--silent]

The unit's map: holding registers 0..72 (configuration), 0x0100..0x0110 (output registers),
0x0200..0x021B (input registers); coils 0..31 (configuration bits), 0x0100..0x010F (input
bits). values.json: {"hr": {"33": 5, ...}, "co": {"3": 1, ...}} (addresses in decimal).
--dump writes the datastore as the same JSON shape after every change and at exit.
--silent answers nothing (for time-out tests). Prints "ready" once serving.
"""

import argparse
import asyncio
import json
import signal
import sys

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server import StartAsyncSerialServer
from pymodbus.transaction import ModbusAsciiFramer, ModbusRtuFramer

SIZE = 0x0300


class RecordingBlock(ModbusSequentialDataBlock):
    """A data block that tells the unit when a master wrote into it."""

    def __init__(self, address, values, on_write):
        super().__init__(address, values)
        self.on_write = on_write

    def setValues(self, address, values):  # noqa: N802 (pymodbus' name)
        super().setValues(address, values)
        self.on_write()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--device", required=True)
    parser.add_argument("--framer", choices=["rtu", "ascii"], default="rtu")
    parser.add_argument("--unit", type=int, default=1)
    parser.add_argument("--baud", type=int, default=38400)
    parser.add_argument("--values")
    parser.add_argument("--dump")
    parser.add_argument("--silent", action="store_true")
    args = parser.parse_args()

    hr = [0] * SIZE
    co = [0] * SIZE
    if args.values:
        with open(args.values) as f:
            values = json.load(f)
        for addr, v in values.get("hr", {}).items():
            hr[int(addr)] = int(v) & 0xFFFF
        for addr, v in values.get("co", {}).items():
            co[int(addr)] = 1 if v else 0

    blocks = {}

    def dump():
        if not args.dump:
            return
        state = {
            "hr": {str(a): v for a, v in enumerate(blocks["hr"].values) if v},
            "co": {str(a): int(bool(v)) for a, v in enumerate(blocks["co"].values) if v},
        }
        with open(args.dump + ".tmp", "w") as f:
            json.dump(state, f)
        import os
        os.replace(args.dump + ".tmp", args.dump)

    blocks["hr"] = RecordingBlock(0, hr, dump)
    blocks["co"] = RecordingBlock(0, co, dump)
    slave = ModbusSlaveContext(hr=blocks["hr"], co=blocks["co"], zero_mode=True)
    context = ModbusServerContext(slaves={args.unit: slave}, single=False)
    dump()

    async def serve():
        loop = asyncio.get_running_loop()
        loop.add_signal_handler(signal.SIGTERM, lambda: (dump(), sys.exit(0)))
        if args.silent:
            print("ready", flush=True)
            await asyncio.Event().wait()
        framer = ModbusAsciiFramer if args.framer == "ascii" else ModbusRtuFramer
        server = await StartAsyncSerialServer(context=context, framer=framer, port=args.device,
                                              baudrate=args.baud, defer_start=True)
        await server.start()
        print("ready", flush=True)
        await asyncio.Event().wait()

    asyncio.run(serve())


if __name__ == "__main__":
    main()
