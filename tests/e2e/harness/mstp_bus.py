"""An RS-485 bus of pseudo-terminals for the MS/TP tests: every station gets a device path of
its own; what one station writes, every other station reads, as on the wire. The bus records
each station's output as it was written and can damage one frame in flight (an octet of noise
put into it, or one of its octets lost) to show that the stations recover.

    with MstpBus(3) as bus:
        start stations on bus.path(0), bus.path(1), bus.path(2)
        bus.damage("noise", frame_type=mstp.DATA_EXPECTING_REPLY, source=0)
    frames = bus.frames()   # every frame written, station by station
"""

import os
import select

from . import mstp
from .serial_line import PtyHub


class MstpBus(PtyHub):
    def __init__(self, stations):
        super().__init__(stations)
        self.streams = [bytearray() for _ in range(stations)]
        self.damaged = []  # (kind, frame octets as written) of every damage done
        self._armed = None

    def damage(self, kind, frame_type, source=None):
        """Damages the next frame of that type (from that station): "noise" puts an octet into
        its header, "drop" loses its source octet."""
        with self._lock:
            self._armed = (kind, frame_type, source)

    def damage_done(self):
        with self._lock:
            return list(self.damaged)

    def frames(self):
        """Every whole frame written, per station, in the order written."""
        with self._lock:
            return [mstp.split(bytes(s)) for s in self.streams]

    def _tamper(self, index, chunk):
        kind, frame_type, source = self._armed
        if source is not None and source != index:
            return chunk
        at = chunk.find(b"\x55\xff")
        while at >= 0 and at + 8 <= len(chunk):
            if chunk[at + 2] == frame_type:
                self._armed = None
                self.damaged.append((kind, bytes(chunk[at:at + 8])))
                if kind == "noise":
                    return chunk[:at + 4] + b"\x00" + chunk[at + 4:]
                return chunk[:at + 4] + chunk[at + 5:]
            at = chunk.find(b"\x55\xff", at + 2)
        return chunk

    def _run(self):
        masters = [m for m, _, _ in self.ends]
        while self._running:
            ready, _, _ = select.select(masters, [], [], 0.05)
            for fd in ready:
                index = masters.index(fd)
                try:
                    chunk = os.read(fd, 4096)
                except OSError:
                    continue
                with self._lock:
                    self.streams[index] += chunk
                    if self._armed:
                        chunk = self._tamper(index, chunk)
                for other in masters:
                    if other != fd:
                        os.write(other, chunk)
