"""Starts and stops the peers of the Python integration tests (the slave
simulator, pymodbus and libmodbus slaves, socat pty pairs) and speaks raw Modbus
frames to them. Every process is started here and stopped by its PID; every
wait is bounded. The simulator's path comes from KESTROM_SLAVE_SIM.
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

SIM = os.environ.get("KESTROM_SLAVE_SIM", "kestrom-slave-sim")


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
    """One line from a pipe, or what came of it before the deadline."""
    line = b""
    while not line.endswith(b"\n") and time.monotonic() < deadline:
        if not select.select([stream], [], [], max(0.0, deadline - time.monotonic()))[0]:
            break
        byte = os.read(stream.fileno(), 1)
        if not byte:
            break
        line += byte
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
    """A program that serves once it prints a line matching `ready`; `with` stops it.
    Standard error goes to a file (a full pipe would block the program) unless
    the program tells what the test needs there."""

    def __init__(self, argv, ready, seconds=20, stderr_too=False):
        self.stderr_file = tempfile.TemporaryFile()
        self.process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT if stderr_too else self.stderr_file)
        deadline, self.lines, self.match = time.monotonic() + seconds, [], None
        while not self.match and (not self.lines or self.lines[-1]):
            self.lines.append(read_line(self.process.stdout, deadline).strip())
            self.match = re.search(ready, self.lines[-1])
        if not self.match:
            self.__exit__()
            self.stderr_file.seek(0)
            raise RuntimeError(f"{argv[0]} did not start: {self.lines} {self.stderr_file.read()}")

    def stop(self, sig=signal.SIGTERM) -> int:
        return stop(self.process, sig)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        self.process.stdout.close()
        self.stderr_file.close()


class Slave(Peer):
    """A pymodbus or libmodbus slave: Slave("pymodbus", "tcp", "hr:0=1,2")."""

    def __init__(self, library, link, *args):
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "peer_slave.py")
        super().__init__(["/usr/bin/python3", script, library, link, *args], r"^READY (\d+)")
        self.port = int(self.match.group(1))


class PtyPair(Peer):
    """A socat pty pair: two linked serial devices, like a null-modem cable."""

    def __init__(self):
        super().__init__(["socat", "-d", "-d", "pty,raw,echo=0", "pty,raw,echo=0"],
                         "starting data transfer loop", 10, stderr_too=True)
        self.slave_end, self.master_end = re.findall(r"PTY is (\S+)", "\n".join(self.lines))


class Simulator(Peer):
    """kestrom-slave-sim on a free TCP port, or on `serial`; dumps its bank on exit."""

    def __init__(self, *args, serial=None):
        self.dump_path = os.path.join(tempfile.mkdtemp(prefix="slavesim-"), "dump.json")
        link = ["--serial", serial] if serial else ["--port", "0"]
        super().__init__([SIM, *link, "--dump-on-exit", self.dump_path, *args],
                         r"^(listening|refusing) on 127\.0\.0\.1:(\d+)|^serving", 10)
        self.first_line = self.match.string
        self.port = int(self.match.group(2)) if self.match.group(2) else None

    def __exit__(self, *exc):
        super().__exit__()
        if os.path.exists(self.dump_path):
            os.unlink(self.dump_path)
        os.rmdir(os.path.dirname(self.dump_path))

    def write_lines(self, count: int):
        """The next `count` lines the simulator prints about writes."""
        deadline = time.monotonic() + 5
        return [read_line(self.process.stdout, deadline).strip() for _ in range(count)]

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


def connect(port: int) -> socket.socket:
    s = socket.create_connection(("127.0.0.1", port), timeout=5)
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return s


def recv_exactly(s: socket.socket, n: int, timeout: float = 5.0) -> bytes:
    """n bytes, or fewer when the peer closes first."""
    s.settimeout(timeout)
    data = b""
    while len(data) < n and (chunk := s.recv(n - len(data))):
        data += chunk
    return data


def recv_mbap(s: socket.socket) -> bytes:
    header = recv_exactly(s, 6)
    return header + recv_exactly(s, struct.unpack(">H", header[4:6])[0]) if len(header) == 6 else header


def transact(port: int, pdu: bytes, unit: int = 1, tid: int = 1) -> bytes:
    """One MBAP request on a fresh connection; returns the reply PDU."""
    with connect(port) as s:
        s.sendall(mbap(tid, unit, pdu))
        reply = recv_mbap(s)
    assert reply[:2] == struct.pack(">H", tid), reply.hex(" ")
    return reply[7:]
