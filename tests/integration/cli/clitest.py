"""Runs kestrom-master-cli and its peers for the command-line tests.

Every process is started here and stopped by its PID; every wait is bounded.
Paths come from the environment: KESTROM_CLI (the program), KESTROM_SLAVE_SIM,
KESTROM_WIN_CLI and KESTROM_WINEPREFIX (the Windows build under Wine).
"""

import json
import os
import re
import select
import signal
import socket
import subprocess
import tempfile
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
CLI = os.environ.get("KESTROM_CLI", "kestrom-master-cli")
SIM = os.environ.get("KESTROM_SLAVE_SIM", "kestrom-slave-sim")
PYTHON = "/usr/bin/python3"

# One printed row: time, direction, then the description and the content,
# which always ends with a space (after the last byte, or after the
# description of a row without bytes). A description may end in a number
# ("... 0 to 10"), so the two are told apart by the known description only.
ROW = re.compile(r"^(\d\d:\d\d:\d\d:\d\d\d) (TX|RX|) (.* )$")


def free_port() -> int:
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port: int, process: subprocess.Popen, seconds: float = 10.0) -> None:
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if process.poll() is not None:
            raise RuntimeError("the peer ended before it listened")
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError(f"nothing listens on port {port}")


def stop(process: subprocess.Popen, sig=signal.SIGTERM, timeout: float = 5.0):
    """Stops one process by its PID: the signal, then a kill if it lingers."""
    if process.poll() is None:
        process.send_signal(sig)
        try:
            process.wait(timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(timeout)
    return process.returncode


def write_project(path: str, members: dict, raw: str = None) -> str:
    """A project file as the program writes them: UTF-16LE with a BOM."""
    text = raw if raw is not None else json.dumps(members)
    with open(path, "wb") as f:
        f.write(b"\xff\xfe" + text.encode("utf-16-le"))
    return path


def read_project(path: str) -> dict:
    with open(path, "rb") as f:
        data = f.read()
    assert data[:2] == b"\xff\xfe", "a saved project starts with the UTF-16LE BOM"
    return json.loads(data[2:].decode("utf-16-le"))


def saved_values(path: str) -> dict:
    return {e["addr"]: e["value"] for e in read_project(path)["datamap"]}


def parse_rows(text: str) -> list:
    """(dir, description and content) of every line; a line that is not a row fails."""
    rows = []
    for line in text.splitlines():
        m = ROW.match(line)
        assert m, f"not a traffic row: {line!r}"
        rows.append((m.group(2), m.group(3)))
    return rows


class Peer:
    """A pymodbus slave process: `with Peer.tcp() as peer:` stops it at the end."""

    def __init__(self, argv):
        self.process = subprocess.Popen(argv, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    @classmethod
    def tcp(cls):
        port = free_port()
        peer = cls([PYTHON, os.path.join(HERE, "pymodbus_slave.py"), "tcp", str(port)])
        peer.port = port
        try:
            wait_for_port(port, peer.process)
        except Exception:
            stop(peer.process)
            raise
        return peer

    @classmethod
    def rtu(cls, device):
        return cls([PYTHON, os.path.join(HERE, "pymodbus_slave.py"), "rtu", device])

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        stop(self.process)


class PtyPair:
    """A socat pty pair: two linked device paths in a temporary folder."""

    def __init__(self, folder):
        self.a = os.path.join(folder, "slave-end")
        self.b = os.path.join(folder, "master-end")
        self.process = subprocess.Popen(
            ["socat", f"pty,raw,echo=0,link={self.a}", f"pty,raw,echo=0,link={self.b}"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 5
        while not (os.path.exists(self.a) and os.path.exists(self.b)):
            if time.monotonic() > deadline or self.process.poll() is not None:
                stop(self.process)
                raise RuntimeError("socat made no pty pair")
            time.sleep(0.02)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        stop(self.process)


def run_cli(args, timeout=30, program=None, env=None):
    """Runs the program to its end: (status, stdout, stderr). Unless the test
    chooses a web port, the web interface stays off, so no test takes the
    projects' port 8888 from another program on the machine."""
    args = list(args)
    if "--web-port" not in args:
        args = ["--no-web"] + args
    argv = (program or [CLI]) + args
    done = subprocess.run(argv, stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout,
                          env=env)
    return done.returncode, done.stdout.decode("latin-1"), done.stderr.decode("latin-1")


def start_cli(args, program=None, env=None):
    return subprocess.Popen((program or [CLI]) + list(args), stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)


def http_get(port, target):
    with urllib.request.urlopen(f"http://127.0.0.1:{port}{target}", timeout=5) as answer:
        return json.loads(answer.read().decode("utf-8"))


def wait_for_line(process, pattern: str, seconds: float = 10.0) -> list:
    """Reads stdout lines until one matches; returns the lines read."""
    lines, buffer = [], b""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        ready, _, _ = select.select([process.stdout], [], [], 0.1)
        if not ready:
            continue
        chunk = os.read(process.stdout.fileno(), 4096)
        if not chunk:
            break
        buffer += chunk
        while b"\n" in buffer:
            line, buffer = buffer.split(b"\n", 1)
            lines.append(line.decode("latin-1"))
            if re.search(pattern, lines[-1]):
                return lines
    raise AssertionError(f"no line matching {pattern!r} in {lines}")


class TempDir:
    def __enter__(self):
        self._dir = tempfile.TemporaryDirectory(prefix="kestrom-cli-")
        return self._dir.name

    def __exit__(self, *exc):
        self._dir.cleanup()
