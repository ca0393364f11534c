"""A Hayes modem pair for the point-to-point tests, on pseudo-terminals: the caller's line takes
AT commands (AT, ATD..., ATH, and "+++" only with the guard time of silence on both sides);
after CONNECT it is joined to the answerer's line until ATH, the escape or a dropped carrier
("NO CARRIER" to both sides). It records each command with its answer, and what went each way
while joined.

    with FakeModem(guard=0.3, at_errors=1) as modem:
        start the caller on modem.caller_path, the answering stack on modem.answerer_path
        modem.drop_carrier()
    modem.commands   # [("AT", "ERROR"), ("+++", "guarded"), ("ATH", "OK"), ...]
"""

import os
import select
import threading
import time
import tty


class FakeModem:
    def __init__(self, guard=1.0, at_errors=0, dial_delay=0.5):
        self.guard, self.at_errors, self.dial_delay = guard, at_errors, dial_delay
        self.ends = []
        for _ in range(2):
            master, slave = os.openpty()
            tty.setraw(slave)
            self.ends.append((master, slave, os.ttyname(slave)))
        self.caller_path, self.answerer_path = self.ends[0][2], self.ends[1][2]
        self.commands = []
        self.to_answerer, self.to_caller = bytearray(), bytearray()
        self.online = False
        self._command = b""
        self._last_octet = 0.0
        self._escape_at = None
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

    def drop_carrier(self):
        with self._lock:
            self.online = False
            for master, _, _ in self.ends:
                os.write(master, b"\r\nNO CARRIER\r\n")

    def streams(self):
        with self._lock:
            return bytes(self.to_answerer), bytes(self.to_caller)

    def _answer(self, text):
        os.write(self.ends[0][0], b"\r\n" + text.encode() + b"\r\n")

    def _run_command(self, line):
        # Like a modem, it reads a command from its "AT" on; a line without one is noise.
        if b"AT" not in line.upper():
            return
        text = line[line.upper().rfind(b"AT"):].decode(errors="replace").strip().upper()
        if text == "AT":
            answer = "ERROR" if sum(c == "AT" for c, _ in self.commands) < self.at_errors else "OK"
        elif text.startswith("ATD"):
            time.sleep(self.dial_delay)
            answer, self.online = "CONNECT 9600", True
        elif text == "ATH":
            answer, self.online = "OK", False
        else:
            answer = "ERROR"
        self.commands.append((text, answer))
        self._answer(answer)

    def _from_caller(self, chunk, now):
        if chunk == b"+++" and now - self._last_octet >= self.guard:
            self._escape_at = now  # an escape once the line stays quiet for the guard time
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
                    if self.online:  # back to command mode; offline it is nothing to answer
                        self.online = False
                        self._answer("OK")
                for fd in ready:
                    try:
                        chunk = os.read(fd, 4096)
                    except OSError:
                        continue
                    if fd == caller:
                        self._from_caller(chunk, now)
                        self._last_octet = now
                    elif self.online:
                        self.to_caller += chunk
                        os.write(caller, chunk)
