"""Starts and stops the peers of the Python integration tests: the slave
simulator, pymodbus and libmodbus slaves, socat pty pairs; and speaks raw
Modbus frames to them.

Every process is started here and stopped by its PID; every wait is bounded.
The simulator's path comes from KESTROM_SLAVE_SIM.
"""
import json
import os
import re
import select
import signal
import socket
import struct
import subprocess
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SIM = os.environ.get("KESTROM_SLAVE_SIM", "kestrom-slave-sim")
PYTHON = "/usr/bin/python3"


def crc16(data: bytes) -> int:
    """Modbus RTU CRC, written here again so the tests check the programs'."""
    crc = 0xFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def rtu(frame: bytes) -> bytes:
    return frame + struct.pack("<H", crc16(frame))


def mbap(tid: int, unit: int, pdu: bytes) -> bytes:
    return struct.pack(">HHHB", tid, 0, len(pdu) + 1, unit) + pdu


def free_port() -> int:
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def read_line(stream, deadline: float) -> str:
    """One line from a pipe, or what came of it when the deadline passes first."""
    line = b""
    while time.monotonic() < deadline:
        ready, _, _ = select.select([stream], [], [], max(0.0, deadline - time.monotonic()))
        byte = os.read(stream.fileno(), 1) if ready else b""
        if not byte:
            break
        line += byte
        if byte == b"\n":
            break
    return line.decode("latin-1")


def stop(process: subprocess.Popen, sig=signal.SIGTERM, timeout: float = 5.0) -> int:
    """Stops one process by its PID: the signal, then a kill if it lingers."""
    if process.poll() is None:
        process.send_signal(sig)
        try:
            process.wait(timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(timeout)
    return process.returncode


class Peer:
    """A program whose first line matching `ready` says it serves; standard
    error goes to a file, since a full pipe would block it. `with` stops it."""

    def __init__(self, argv, ready, seconds=20):
        self.stderr_file = tempfile.TemporaryFile()
        self.process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=self.stderr_file)
        deadline = time.monotonic() + seconds
        while True:
            self.first_line = read_line(self.process.stdout, deadline).strip()
            self.match = re.search(ready, self.first_line)
            if self.match or not self.first_line:
                break
        if not self.match:
            self.__exit__()
            raise RuntimeError(f"{argv[0]} did not start: {self.first_line!r} {self.stderr_text()}")

    def stderr_text(self) -> str:
        self.stderr_file.seek(0)
        return self.stderr_file.read().decode(errors="replace")

    def stop(self, sig=signal.SIGTERM) -> int:
        return stop(self.process, sig)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        self.process.stdout.close()
        self.stderr_file.close()


class Slave(Peer):
    """A pymodbus or libmodbus slave (peer_slave.py): Slave("pymodbus", "tcp", "hr:0=1,2")."""

    def __init__(self, library, link, *args):
        super().__init__([PYTHON, os.path.join(HERE, "peer_slave.py"), library, link, *args],
                         r"^READY (\d+)")
        self.port = int(self.match.group(1))


class Simulator(Peer):
    """kestrom-slave-sim on a free TCP port, or on `serial`; dumps its bank on exit."""

    def __init__(self, *args, serial=None):
        fd, self.dump_path = tempfile.mkstemp(prefix="slavesim-", suffix=".json")
        os.close(fd)
        os.unlink(self.dump_path)
        link = ["--serial", serial] if serial else [] if "--port" in args else ["--port", "0"]
        super().__init__([SIM, *link, "--dump-on-exit", self.dump_path, *args],
                         r"^(listening|refusing) on 127\.0\.0\.1:(\d+)|^serving", 10)
        self.port = int(self.match.group(2)) if self.match.group(2) else None

    def __exit__(self, *exc):
        super().__exit__()
        if os.path.exists(self.dump_path):
            os.unlink(self.dump_path)

    def write_lines(self, count: int, timeout: float = 5.0):
        """The next `count` lines the simulator prints about writes."""
        deadline = time.monotonic() + timeout
        lines = [read_line(self.process.stdout, deadline).strip() for _ in range(count)]
        return [line for line in lines if line]

    def dump(self) -> dict:
        """What the slave holds now: SIGUSR1 makes it write the dump file."""
        if os.path.exists(self.dump_path):
            os.unlink(self.dump_path)
        self.process.send_signal(signal.SIGUSR1)
        deadline = time.monotonic() + 5
        while not os.path.exists(self.dump_path) and time.monotonic() < deadline:
            time.sleep(0.01)
        with open(self.dump_path) as f:
            return json.load(f)


class PtyPair:
    """A socat pty pair: two linked serial devices, like a null-modem cable."""

    def __init__(self):
        self.process = subprocess.Popen(
            ["socat", "-d", "-d", "pty,raw,echo=0", "pty,raw,echo=0"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        # socat tells the pty names on standard error, then starts its transfer loop.
        names, deadline, line = [], time.monotonic() + 10, "-"
        while line and "starting data transfer loop" not in line:
            line = read_line(self.process.stderr, deadline)
            names += re.findall(r"PTY is (\S+)", line)
        if len(names) != 2:
            self.__exit__()
            raise RuntimeError("socat made no pty pair")
        self.slave_end, self.master_end = names

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        stop(self.process)
        self.process.stderr.close()


def connect(port: int, timeout: float = 5.0) -> socket.socket:
    s = socket.create_connection(("127.0.0.1", port), timeout=timeout)
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return s


def recv_exactly(s: socket.socket, n: int, timeout: float = 5.0) -> bytes:
    """n bytes, or fewer when the peer closes first."""
    s.settimeout(timeout)
    data = b""
    while len(data) < n:
        chunk = s.recv(n - len(data))
        if not chunk:
            break
        data += chunk
    return data


def recv_mbap(s: socket.socket, timeout: float = 5.0) -> bytes:
    header = recv_exactly(s, 6, timeout)
    if len(header) < 6:
        return header
    return header + recv_exactly(s, struct.unpack(">H", header[4:6])[0], timeout)


def transact(port: int, pdu: bytes, unit: int = 1, tid: int = 1) -> bytes:
    """One MBAP request on a fresh connection; returns the reply PDU."""
    with connect(port) as s:
        s.sendall(mbap(tid, unit, pdu))
        reply = recv_mbap(s)
    assert reply[:2] == struct.pack(">H", tid), reply.hex(" ")
    return reply[7:]
