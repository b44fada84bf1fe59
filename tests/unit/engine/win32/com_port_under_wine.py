"""Runs the Windows serial tests' COM port cases under Wine: COM port 9 of the
Wine prefix is linked to one end of a socat pty pair whose other end a pymodbus
RTU slave serves, COM port 10 to a pair with nothing at its other end.
Usage: com_port_under_wine.py TESTS_EXE PYMODBUS_SERVER"""
import os
import re
import select
import subprocess
import sys
import tempfile
import time

COMPORT = 9
SILENT_COMPORT = 10


def read_line(stream, deadline):
    line = b""
    while time.monotonic() < deadline:
        ready, _, _ = select.select([stream], [], [], max(0.0, deadline - time.monotonic()))
        if not ready:
            break
        char = os.read(stream.fileno(), 1)
        if not char:
            break
        if char == b"\n":
            return line.decode(errors="replace")
        line += char
    return line.decode(errors="replace")


def stop(process):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def holds(pid, device):
    target = os.path.realpath(device)
    try:
        return any(os.path.realpath(f"/proc/{pid}/fd/{fd}") == target
                   for fd in os.listdir(f"/proc/{pid}/fd"))
    except OSError:
        return False


def pty_pair(processes):
    """Starts a socat pty pair; its two device names, or None."""
    socat = subprocess.Popen(["socat", "-d", "-d", "pty,raw,echo=0", "pty,raw,echo=0"],
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    processes.append(socat)
    names = []
    deadline = time.monotonic() + 10
    while len(names) < 2 and time.monotonic() < deadline:
        match = re.search(r"PTY is (\S+)", read_line(socat.stderr, deadline))
        if match:
            names.append(match.group(1))
    time.sleep(0.2)
    return names if len(names) == 2 else None


def link_com_port(prefix, number, device, links):
    link = os.path.join(prefix, "dosdevices", f"com{number}")
    os.makedirs(os.path.dirname(link), exist_ok=True)
    if os.path.islink(link) or os.path.exists(link):
        os.remove(link)
    os.symlink(device, link)
    links.append(link)


def main():
    exe, server = sys.argv[1], sys.argv[2]
    prefix = os.environ["WINEPREFIX"]
    processes = []
    links = []
    try:
        served = pty_pair(processes)
        silent = pty_pair(processes)
        if not served or not silent:
            print("socat gave no pty names")
            return 1
        slave = subprocess.Popen(["/usr/bin/python3", server, served[0], "9600"])
        processes.append(slave)
        deadline = time.monotonic() + 15
        while not holds(slave.pid, served[0]) and time.monotonic() < deadline:
            time.sleep(0.05)
        link_com_port(prefix, COMPORT, served[1], links)
        link_com_port(prefix, SILENT_COMPORT, silent[1], links)
        env = dict(os.environ, KESTROM_TEST_COMPORT=str(COMPORT),
                   KESTROM_TEST_SILENT_COMPORT=str(SILENT_COMPORT))
        # Output to a file, not a pipe: a wineserver this run starts keeps the
        # descriptors it inherited, and a pipe would then never end.
        with tempfile.TemporaryFile(mode="w+") as output:
            result = subprocess.run(["wine", exe, "--gtest_filter=SerialComPort.*"], env=env,
                                    stdin=subprocess.DEVNULL, stdout=output,
                                    stderr=subprocess.STDOUT, timeout=90)
            output.seek(0)
            text = output.read()
        print(text)
        passed = result.returncode == 0 and "[  PASSED  ] 2 tests" in text \
            and "SKIPPED" not in text
        return 0 if passed else 1
    finally:
        for link in links:
            if os.path.islink(link):
                os.remove(link)
        for process in reversed(processes):
            stop(process)


if __name__ == "__main__":
    sys.exit(main())
