"""Runs the Windows serial tests that need COM ports under Wine. Each COM port
of the Wine prefix is linked to one end of a socat pty pair: COM9's other end
is served by a pymodbus RTU slave, COM10's by nobody, COM11's by the simulator
(when the native tree has built it), and COM12 and COM13 are the two ends of
one pair, a line the test drives from both sides.
Usage: com_port_under_wine.py TESTS_EXE PYMODBUS_SERVER [SIMULATOR]"""
import os
import re
import subprocess
import sys
import tempfile
import time

REQUIRED = ["SerialComPort.PollsRegistersAndCoilsFromPymodbus",
            "SerialComPort.CountsRequestsNobodyAnswersAgainstRetries",
            "SerialPort.CarriesBytesBothWaysOneReadAtATime"]


def pty_pair(processes):
    """Starts a socat pty pair; its two device names, or None."""
    log = tempfile.NamedTemporaryFile(mode="w+", suffix=".log")
    processes.append((subprocess.Popen(["socat", "-d", "-d", "pty,raw,echo=0", "pty,raw,echo=0"],
                                       stdout=subprocess.DEVNULL, stderr=log), log))
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        names = re.findall(r"PTY is (\S+)", open(log.name).read())
        if len(names) == 2:
            time.sleep(0.2)
            return names
        time.sleep(0.05)
    return None


def serve(processes, command, device):
    """Starts a slave on device and waits until it holds the device open."""
    process = subprocess.Popen(command)
    processes.append((process, None))
    target = os.path.realpath(device)
    deadline = time.monotonic() + 15
    while time.monotonic() < deadline:
        try:
            if any(os.path.realpath(f"/proc/{process.pid}/fd/{fd}") == target
                   for fd in os.listdir(f"/proc/{process.pid}/fd")):
                return
        except OSError:
            pass
        time.sleep(0.05)


def main():
    exe, server = sys.argv[1], sys.argv[2]
    simulator = sys.argv[3] if len(sys.argv) > 3 and os.access(sys.argv[3], os.X_OK) else None
    dosdevices = os.path.join(os.environ["WINEPREFIX"], "dosdevices")
    os.makedirs(dosdevices, exist_ok=True)
    processes, links, env = [], [], dict(os.environ)

    def link(number, device, variable=None):
        path = os.path.join(dosdevices, f"com{number}")
        if os.path.lexists(path):
            os.remove(path)
        os.symlink(device, path)
        links.append(path)
        if variable:
            env[variable] = str(number)

    try:
        pairs = [pty_pair(processes) for _ in range(4 if simulator else 3)]
        if not all(pairs):
            print("socat gave no pty names")
            return 1
        served, silent, line = pairs[:3]
        serve(processes, ["/usr/bin/python3", server, served[0], "9600"], served[0])
        link(9, served[1], "KESTROM_TEST_COMPORT")
        link(10, silent[1], "KESTROM_TEST_SILENT_COMPORT")
        link(12, line[0])
        link(13, line[1])
        env["KESTROM_TEST_LINE_COMPORTS"] = "12,13"
        if simulator:
            REQUIRED.append("SerialComPort.ReadsFloatsAndRegistersFromTheSimulator")
            serve(processes, [simulator, "--quiet", "--serial", pairs[3][0], "--set",
                              "float:0-1=1.5,-2.25", "--set", "hr:7=77"], pairs[3][0])
            link(11, pairs[3][1], "KESTROM_TEST_SIMULATOR_COMPORT")
        # Output to a file, not a pipe: a wineserver this run starts keeps the
        # descriptors it inherited, and a pipe would then never end.
        with tempfile.TemporaryFile(mode="w+") as output:
            result = subprocess.run(["wine", exe, "--gtest_filter=SerialComPort.*:SerialPort.*"],
                                    env=env, stdin=subprocess.DEVNULL, stdout=output,
                                    stderr=subprocess.STDOUT, timeout=90)
            output.seek(0)
            text = output.read()
        print(text)
        passed = all(f"[       OK ] {name}" in text for name in REQUIRED)
        return 0 if result.returncode == 0 and passed else 1
    finally:
        for path in links:
            if os.path.islink(path):
                os.remove(path)
        for process, log in reversed(processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
            if log:
                log.close()


if __name__ == "__main__":
    sys.exit(main())
