"""The board's system log: a datagram socket that becomes /dev/log inside the
board, so the service logs through the C library's own syslog exactly as on
the board. Each message is written as received, one a line:

    <8>Dec  7 17:39:00 dravel[1234]: main: Start.

(priority and facility in the angle brackets, then the time, the identity
and the process id as syslog sends them). A message's own trailing newline
is not repeated. Messages of the service's identity go to the log, those of
other programs of the board (statemgrd) to a file of their own."""

import os
import re
import select
import socket
import threading

_IDENTITY = re.compile(rb"^<\d+>[A-Z][a-z]{2} [ 0-9]\d \d\d:\d\d:\d\d ([^\[:]*)")


class SyslogSink:
    def __init__(self, folder, name, log_path, other_path, identity):
        """Binds the socket `name` in `folder` (by a relative path, so a long
        run directory cannot exceed the socket path limit)."""
        self.path = os.path.join(folder, name)
        if os.path.lexists(self.path):
            os.unlink(self.path)
        self._socket = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self._socket.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 20)
        here = os.getcwd()
        try:
            os.chdir(folder)
            self._socket.bind(name)
        finally:
            os.chdir(here)
        os.chmod(self.path, 0o666)
        self._identity = identity.encode()
        self._log = open(log_path, "ab")
        self._other = open(other_path, "ab")
        self._stopping = threading.Event()
        self._thread = threading.Thread(target=self._serve, daemon=True)

    def start(self):
        self._thread.start()

    def _write(self, message):
        if message.endswith(b"\n"):
            message = message[:-1]
        match = _IDENTITY.match(message)
        target = self._log if match and match.group(1) == self._identity else self._other
        target.write(message + b"\n")
        target.flush()

    def _drain(self):
        while True:
            try:
                self._write(self._socket.recv(65536, socket.MSG_DONTWAIT))
            except BlockingIOError:
                return

    def _serve(self):
        while not self._stopping.is_set():
            ready, _, _ = select.select([self._socket], [], [], 0.2)
            if ready:
                self._drain()

    def stop(self):
        """Takes what is still queued and closes the log."""
        self._stopping.set()
        self._thread.join()
        self._drain()
        self._socket.close()
        self._log.close()
        self._other.close()
