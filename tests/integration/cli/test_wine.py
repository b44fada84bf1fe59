"""The Windows console build of kestrom-master-cli under Wine against the
slave simulator running natively on 127.0.0.1: rows, the log, the saved
values, a write reaching the slave, and a bad project."""

import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from clitest import (SIM, TempDir, free_port, http_get, parse_rows, run_cli,  # noqa: E402
                     saved_values, start_cli, stop, wait_for_line, write_project)

WIN_CLI = os.environ.get("KESTROM_WIN_CLI", "")
WINEPREFIX = os.environ.get("KESTROM_WINEPREFIX", "")
SKIP = 77  # ctest's SKIP_RETURN_CODE for this test


def wine_env():
    env = dict(os.environ)
    env.update(WINEPREFIX=WINEPREFIX, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    return env


def windows_path(path: str) -> str:
    """Wine's drive Z: is the Linux root."""
    return "Z:" + path.replace("/", "\\")


def ensure_wineserver():
    # A wineserver started by the first wine process would inherit this test's
    # pipes and hold them open; one started here, detached, is used instead
    # (it does nothing when one already runs for the prefix).
    subprocess.Popen(["wineserver", "-p", "60"], start_new_session=True,
                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL, env=wine_env()).wait(30)


class Simulator:
    def __init__(self, *args):
        self.process = subprocess.Popen([SIM, "--port", "0", *args], stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        first = self.process.stdout.readline().decode()
        m = re.match(r"listening on 127\.0\.0\.1:(\d+)", first)
        if not m:
            stop(self.process)
            raise RuntimeError(f"simulator did not start: {first!r}")
        self.port = int(m.group(1))

    def lines(self):
        """The write lines so far, read after the simulator stopped."""
        stop(self.process)
        text = self.process.stdout.read().decode()
        self.process.stdout.close()
        return text.splitlines()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        stop(self.process)
        if not self.process.stdout.closed:
            self.process.stdout.close()


def run_wine(args, timeout=90):
    return run_cli(args, timeout=timeout, program=["wine", WIN_CLI], env=wine_env())


class UnderWine(unittest.TestCase):
    def test_polls_the_simulator_logs_and_saves(self):
        with TempDir() as d, Simulator("--set", "hr:40-43=1234,5678,9,65535",
                                       "--set", "float:300-301=1.5,-2.25",
                                       "--set", "coil:0-3=1,0,1,1") as sim:
            members = {
                "host": "127.0.0.1", "port": sim.port, "protocol": 0, "pollrate": 100,
                "timeout": 1000, "retries": 3,
                "polls": [
                    {"function": 3, "start": 40, "size": 4, "formatpreset": 1},
                    {"function": 65, "start": 300, "size": 2, "formatpreset": 2},
                    {"function": 1, "start": 0, "size": 4, "formatpreset": 0},
                    {"function": 16, "start": 60, "size": 2, "formatpreset": 1},
                ],
                "datamap": [{"addr": a, "type": 2, "value": "0"} for a in range(40, 44)]
                + [{"addr": 300, "type": 4, "value": "0"}, {"addr": 301, "type": 4, "value": "0"}]
                + [{"addr": a, "type": 1, "value": "0"} for a in range(0, 4)]
                + [{"addr": 60, "type": 2, "value": "11"}, {"addr": 61, "type": 2, "value": "22"}],
            }
            path = write_project(os.path.join(d, "plant.xmb"), members)
            saved, log = os.path.join(d, "saved.xmb"), os.path.join(d, "traffic.log")
            web = free_port()
            cli = start_cli(["--seconds", "4", "--web-port", str(web),
                             "--save", windows_path(saved), "--log", windows_path(log),
                             windows_path(path)], program=["wine", WIN_CLI], env=wine_env())
            try:
                lines = wait_for_line(cli, r" RX Reply 65", seconds=60)
                # The Windows program's web interface, read from Linux.
                self.assertEqual(http_get(web, "/301"), [{"name": 301, "value": "-2.25"}])
                rest, err = cli.communicate(timeout=60)
            finally:
                stop(cli)
            out = "\n".join(lines) + "\n" + rest.decode("latin-1")
            self.assertEqual(cli.returncode, 0, out + err.decode("latin-1"))
            rows = parse_rows(out)
            self.assertEqual(rows[0], ("", "Attempting to connect. "))
            self.assertEqual(rows[-1], ("", "Connection Closed "))
            texts = [r[1] for r in rows]
            for expected in [
                "Poll 03: Read Input Registers 40 to 43 ",
                "Reply 03: Read Input Registers with 8 bytes of data ",
                "Poll 65: Daniel Read Floats 300 to 301 ",
                "Reply 65: Daniel Read Floats with 2 items ",
                "Poll 01: Read Coils 0 to 3 ",
                "Reply 01: Read Coils with 1 bytes of data ",
                "Poll 16: Force Multiple Registers 60 to 61 ",
                "Reply 16: Force Multiple Registers ",
            ]:
                self.assertTrue(any(t.startswith(expected) for t in texts), f"{expected}\n{out}")
            with open(log, "rb") as f:
                self.assertEqual(f.read().decode("latin-1").splitlines(), out.splitlines())
            with socket.socket() as s:
                s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
                s.bind(("0.0.0.0", web))  # released
            values = saved_values(saved)
            self.assertEqual([values[a] for a in range(40, 44)], ["1234", "5678", "9", "65535"])
            self.assertEqual((values[300], values[301]), ("1.5", "-2.25"))
            self.assertEqual([values[a] for a in range(0, 4)], ["1", "0", "1", "1"])
            writes = sim.lines()
            self.assertIn("write hr 60 11", writes)
            self.assertIn("write hr 61 22", writes)

    def test_ctrl_c_stops_the_run_cleanly(self):
        # Wine hands SIGINT to a console program as Ctrl-C.
        with TempDir() as d, Simulator("--quiet") as sim:
            path = write_project(os.path.join(d, "p.xmb"), {
                "host": "127.0.0.1", "port": sim.port, "pollrate": 100,
                "polls": [{"function": 3, "start": 0, "size": 2, "formatpreset": 1}]})
            cli = start_cli(["--no-web", windows_path(path)], program=["wine", WIN_CLI],
                            env=wine_env())
            try:
                wait_for_line(cli, r" RX Reply ", seconds=60)
                sent = time.monotonic()
                cli.send_signal(signal.SIGINT)
                cli.wait(10)
                self.assertLess(time.monotonic() - sent, 1.0)
                self.assertEqual(cli.returncode, 0, cli.stderr.read())
                tail = cli.stdout.read().decode("latin-1").splitlines()
                self.assertTrue(tail and tail[-1].endswith("  Connection Closed "), tail)
            finally:
                stop(cli)
                cli.stdout.close()
                cli.stderr.close()

    def test_a_bad_project_gives_status_two_and_one_line(self):
        with TempDir() as d:
            broken = write_project(os.path.join(d, "broken.xmb"), None,
                                   raw='{\r\n "polls": [\r\n {"function": 3,,}\r\n]}')
            status, out, err = run_wine([windows_path(broken)])
            self.assertEqual(status, 2, out + err)
            lines = err.splitlines()
            self.assertEqual(len(lines), 1, err)
            self.assertRegex(lines[0], r"broken\.xmb: .* \(line 3\)$")


if __name__ == "__main__":
    if not (WIN_CLI and os.path.exists(WIN_CLI) and shutil.which("wine")):
        print(f"skipped: no Windows build at {WIN_CLI!r} or no wine")
        sys.exit(SKIP)
    ensure_wineserver()
    unittest.main(verbosity=2)
