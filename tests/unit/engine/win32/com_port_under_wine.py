"""Runs the Windows serial tests that need COM ports under Wine. COM ports of
the Wine prefix are linked to socat pty pairs: COM9 to one whose other end a
pymodbus RTU slave serves, COM12 and COM13 to the two ends of another, a line
the test drives from both sides.
Usage: com_port_under_wine.py TESTS_EXE PYMODBUS_SERVER"""
import os
import re
import subprocess
import sys
import tempfile
import time

REQUIRED = ["SerialComPort.PollsRegistersAndCoilsFromPymodbus",
            "SerialPort.CarriesBytesBothWaysOneReadAtATime"]


def pty_pair(processes, log):
    """Starts a socat pty pair; its two device names, or None."""
    processes.append(subprocess.Popen(["socat", "-d", "-d", "pty,raw,echo=0", "pty,raw,echo=0"],
                                      stdout=subprocess.DEVNULL, stderr=log))
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        log.seek(0)
        names = re.findall(r"PTY is (\S+)", log.read())
        if len(names) == 2:
            time.sleep(0.2)
            return names
        time.sleep(0.05)
    return None


def holds(pid, device):
    try:
        return any(os.path.realpath(f"/proc/{pid}/fd/{fd}") == os.path.realpath(device)
                   for fd in os.listdir(f"/proc/{pid}/fd"))
    except OSError:
        return False


def main():
    exe, server = sys.argv[1], sys.argv[2]
    dosdevices = os.path.join(os.environ["WINEPREFIX"], "dosdevices")
    os.makedirs(dosdevices, exist_ok=True)
    processes, links = [], []
    env = dict(os.environ, KESTROM_TEST_COMPORT="9", KESTROM_TEST_LINE_COMPORTS="12,13")
    # socat appends to its log (a+), whatever the reader's position.
    with tempfile.TemporaryFile("a+") as log1, tempfile.TemporaryFile("a+") as log2, \
            tempfile.TemporaryFile("w+") as output:
        try:
            served, line = pty_pair(processes, log1), pty_pair(processes, log2)
            if not served or not line:
                print("socat gave no pty names")
                return 1
            processes.append(subprocess.Popen(
                ["/usr/bin/python3", server, "pymodbus", "serial", served[0], "9600",
                 "hr:40=1234,5678,9,65535", "co:0=1,0,1"], stdout=subprocess.DEVNULL))
            deadline = time.monotonic() + 15
            while not holds(processes[-1].pid, served[0]) and time.monotonic() < deadline:
                time.sleep(0.05)
            for number, device in ((9, served[1]), (12, line[0]), (13, line[1])):
                links.append(os.path.join(dosdevices, f"com{number}"))
                if os.path.lexists(links[-1]):
                    os.remove(links[-1])
                os.symlink(device, links[-1])
            # Output to a file, not a pipe: a wineserver this run starts keeps
            # the descriptors it inherited, and a pipe would then never end.
            result = subprocess.run(["wine", exe, "--gtest_filter=SerialComPort.*:SerialPort.*"],
                                    env=env, stdin=subprocess.DEVNULL, stdout=output,
                                    stderr=subprocess.STDOUT, timeout=90)
            output.seek(0)
            text = output.read()
            print(text)
            passed = all(f"[       OK ] {name}" in text for name in REQUIRED)
            return 0 if result.returncode == 0 and passed else 1
        finally:
            for link in links:
                if os.path.islink(link):
                    os.remove(link)
            for process in reversed(processes):
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()


if __name__ == "__main__":
    sys.exit(main())
