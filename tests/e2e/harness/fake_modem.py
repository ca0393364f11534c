"""A Hayes modem pair on pseudo-terminals for the point-to-point tests. The caller's line takes
AT commands (AT, ATD..., ATH; "+++" counts only with the guard time of silence on both sides);
after CONNECT it is joined to the answerer's line until ATH, the escape or drop_carrier() ("NO
CARRIER" to both). `commands` records (command, answer); `to_answerer` and `to_caller` what
went each way while joined."""

import os
import select
import time

from .serial_line import PtyHub


class FakeModem(PtyHub):
    def __init__(self, guard, at_errors=0):
        super().__init__(2)
        self.guard, self.at_errors = guard, at_errors
        self.caller_path, self.answerer_path = self.path(0), self.path(1)
        self.commands, self.to_answerer, self.to_caller = [], bytearray(), bytearray()
        self.online, self._command, self._last_octet, self._escape_at = False, b"", 0.0, None

    def drop_carrier(self):
        with self._lock:
            self.online = False
            for master, _, _ in self.ends:
                os.write(master, b"\r\nNO CARRIER\r\n")

    def streams(self):
        with self._lock:
            return bytes(self.to_answerer), bytes(self.to_caller)

    def _answer(self, text):
        os.write(self.ends[0][0], f"\r\n{text}\r\n".encode())

    def _run_command(self, line):
        at = line.upper().rfind(b"AT")  # like a modem, it reads from the "AT" on
        if at < 0:
            return
        text = line[at:].decode(errors="replace").strip().upper()
        if text == "AT":
            answer = "ERROR" if sum(c == "AT" for c, _ in self.commands) < self.at_errors else "OK"
        elif text.startswith("ATD"):
            time.sleep(0.5)
            answer, self.online = "CONNECT 9600", True
        else:
            answer, self.online = ("OK", False) if text == "ATH" else ("ERROR", self.online)
        self.commands.append((text, answer))
        self._answer(answer)

    def _from_caller(self, chunk, now):
        if chunk == b"+++" and now - self._last_octet >= self.guard:
            self._escape_at = now  # an escape once the line then stays quiet for the guard time
            return
        if self._escape_at is not None:
            chunk, self._escape_at = b"+++" + chunk, None
        if self.online:
            self.to_answerer += chunk
            os.write(self.ends[1][0], chunk)
            return
        self._command += chunk
        while b"\r" in self._command:
            line, self._command = self._command.split(b"\r", 1)
            self._run_command(line)

    def _run(self):
        caller, answerer = self.ends[0][0], self.ends[1][0]
        while self._running:
            ready, _, _ = select.select([caller, answerer], [], [], 0.02)
            now = time.monotonic()
            with self._lock:
                if self._escape_at is not None and now - self._escape_at >= self.guard:
                    self._escape_at = None
                    self.commands.append(("+++", "guarded"))
                    if self.online:  # back to command mode; offline there is nothing to answer
                        self.online = False
                        self._answer("OK")
                for fd in ready:
                    chunk = os.read(fd, 4096)
                    if fd == caller:
                        self._from_caller(chunk, now)
                        self._last_octet = now
                    elif self.online:
                        self.to_caller += chunk
                        os.write(caller, chunk)
