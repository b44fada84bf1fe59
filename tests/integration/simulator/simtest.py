"""Starts and stops the slave simulator and its peers for the simulator tests.

Every process is started by the test and stopped by its PID; every wait is
bounded. The simulator path comes from KESTROM_SLAVE_SIM, the libmodbus
client from KESTROM_LIBMODBUS_CLIENT.
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
LIBMODBUS_CLIENT = os.environ.get("KESTROM_LIBMODBUS_CLIENT", "kestrom-libmodbus-client")


def crc16(data: bytes) -> int:
    """Modbus RTU CRC, written here again so the tests check the simulator's."""
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


def read_line(stream, deadline: float) -> str:
    """One line from a pipe, or '' when the deadline passes first."""
    line = b""
    while time.monotonic() < deadline:
        ready, _, _ = select.select([stream], [], [], max(0.0, deadline - time.monotonic()))
        if not ready:
            break
        byte = os.read(stream.fileno(), 1)
        if not byte:
            break
        line += byte
        if byte == b"\n":
            return line.decode()
    return line.decode()


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


class Simulator:
    """One simulator process; `with Simulator(...) as sim:` stops it at the end."""

    def __init__(self, *args, serial=None, dump=True, quiet=False):
        self.dump_path = None
        argv = [SIM]
        if serial:
            argv += ["--serial", serial]
        elif "--port" not in args:
            argv += ["--port", "0"]
        if dump:
            fd, self.dump_path = tempfile.mkstemp(prefix="slavesim-", suffix=".json")
            os.close(fd)
            os.unlink(self.dump_path)
            argv += ["--dump-on-exit", self.dump_path]
        argv += list(args)
        if quiet:
            argv.append("--quiet")
        # Standard error goes to a file: a full pipe would block the simulator.
        self.stderr_file = tempfile.TemporaryFile()
        self.process = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=self.stderr_file)
        first = read_line(self.process.stdout, time.monotonic() + 10)
        self.port = None
        match = re.search(r"on 127\.0\.0\.1:(\d+)", first)
        if match:
            self.port = int(match.group(1))
        elif not first.startswith("serving"):
            stop(self.process)
            raise RuntimeError("simulator did not start: %r %r" % (first, self.stderr_text()))
        self.first_line = first.strip()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        self.process.stdout.close()
        self.stderr_file.close()
        if self.dump_path and os.path.exists(self.dump_path):
            os.unlink(self.dump_path)

    def stop(self) -> int:
        return stop(self.process)

    def write_lines(self, count: int, timeout: float = 5.0):
        """The next `count` lines the simulator prints about writes."""
        deadline = time.monotonic() + timeout
        lines = []
        while len(lines) < count:
            line = read_line(self.process.stdout, deadline)
            if not line:
                break
            lines.append(line.strip())
        return lines

    def dump(self) -> dict:
        """What the slave holds now: SIGUSR1 makes it write the dump file."""
        if os.path.exists(self.dump_path):
            os.unlink(self.dump_path)
        self.process.send_signal(signal.SIGUSR1)
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            if os.path.exists(self.dump_path):
                with open(self.dump_path) as f:
                    return json.load(f)
            time.sleep(0.01)
        raise AssertionError("no dump written")

    def cpu_seconds(self) -> float:
        """User and system time the simulator has used so far."""
        with open("/proc/%d/stat" % self.process.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def stderr_text(self) -> str:
        """Standard error so far."""
        self.stderr_file.seek(0)
        return self.stderr_file.read().decode(errors="replace")


def connect(port: int, timeout: float = 5.0) -> socket.socket:
    s = socket.create_connection(("127.0.0.1", port), timeout=timeout)
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return s


def recv_exactly(s: socket.socket, n: int, timeout: float = 5.0) -> bytes:
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
    (length,) = struct.unpack(">H", header[4:6])
    return header + recv_exactly(s, length, timeout)


def transact(port: int, pdu: bytes, unit: int = 1, tid: int = 1) -> bytes:
    """One MBAP request on a fresh connection; returns the reply PDU."""
    with connect(port) as s:
        s.sendall(mbap(tid, unit, pdu))
        reply = recv_mbap(s)
    assert reply[:2] == struct.pack(">H", tid), reply.hex(" ")
    return reply[7:]


class PtyPair:
    """A socat pty pair: two linked serial devices, like a null-modem cable."""

    def __init__(self):
        self.process = subprocess.Popen(
            ["socat", "-d", "-d", "pty,raw,echo=0", "pty,raw,echo=0"],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        names = []
        deadline = time.monotonic() + 10
        while len(names) < 2:
            line = read_line(self.process.stderr, deadline)
            if not line:
                stop(self.process)
                raise RuntimeError("socat gave no pty names")
            match = re.search(r"PTY is (\S+)", line)
            if match:
                names.append(match.group(1))
        # Wait for "starting data transfer loop": the pair is usable after it.
        while "starting data transfer loop" not in line:
            line = read_line(self.process.stderr, deadline)
            if not line:
                break
        self.slave_end, self.master_end = names

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        stop(self.process)
        self.process.stderr.close()
