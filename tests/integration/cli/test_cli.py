"""kestrom-master-cli end to end, as a script would use it: against pymodbus
slaves over TCP and over a socat pty pair, and the Windows console build under
Wine against the simulator. Rows, the log, saved values, the web interface,
exit statuses and the stop on a signal are checked from outside.

  test_cli.py OverTcp OverSerial   (native)
  test_cli.py UnderWine            (KESTROM_WIN_CLI, KESTROM_WINEPREFIX)
"""
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request

from peers import PtyPair, Slave, free_port, read_line, rtu, stop

CLI = [os.environ.get("KESTROM_CLI", "kestrom-master-cli")]
WIN_CLI = os.environ.get("KESTROM_WIN_CLI", "")
WINE_ENV = dict(os.environ, WINEPREFIX=os.environ.get("KESTROM_WINEPREFIX", ""), WINEDEBUG="-all",
                WINEDLLOVERRIDES="mscoree,mshtml=")
WINE = ["wine", WIN_CLI]
# One printed row: time, direction, then the description and the content,
# which always ends with a space.
ROW = re.compile(r"^(\d\d:\d\d:\d\d:\d\d\d) (TX|RX|) (.* )$")
SLAVE_DATA = ["hr:40=1234,5678,9,65535", "co:0=1,0,1,1,0,0,1,0,1,1"]


def write_project(folder, name, members=None, raw=None) -> str:
    """A project file as the program writes them: UTF-16LE with a BOM."""
    path = os.path.join(folder, name)
    with open(path, "wb") as f:
        f.write(b"\xff\xfe" + (raw if raw is not None else json.dumps(members)).encode("utf-16-le"))
    return path


def read_project(path) -> dict:
    with open(path, "rb") as f:
        data = f.read()
    assert data[:2] == b"\xff\xfe", "a saved project starts with the UTF-16LE BOM"
    return json.loads(data[2:].decode("utf-16-le"))


def saved_values(path) -> dict:
    return {e["addr"]: e["value"] for e in read_project(path)["datamap"]}


def parse_rows(text) -> list:
    """(direction, description and content) of every line; a line that is not a row fails."""
    matches = [(ROW.match(line), line) for line in text.splitlines()]
    assert all(m for m, _ in matches), [line for m, line in matches if not m]
    return [(m.group(2), m.group(3)) for m, _ in matches]


def run_cli(args, program=CLI, env=None, timeout=90):
    """Runs the program to its end: (status, stdout, stderr). Unless the test
    chooses a web port the web interface stays off, so no test takes the
    projects' port 8888 from another program on the machine."""
    args = args if "--web-port" in args else ["--no-web", *args]
    done = subprocess.run(program + args, stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=timeout, env=env)
    return done.returncode, done.stdout.decode("latin-1"), done.stderr.decode("latin-1")


class Running:
    """The program in the background: `with Running(args) as cli:` stops it at the end."""

    def __init__(self, args, program=CLI, env=None):
        self.process = subprocess.Popen(program + args, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
        self.lines = []

    def wait_for_line(self, pattern, seconds=10.0):
        deadline = time.monotonic() + seconds
        while not self.lines or not re.search(pattern, self.lines[-1]):
            line = read_line(self.process.stdout, deadline)
            assert line.endswith("\n"), f"no line matching {pattern!r} in {self.lines}"
            self.lines.append(line.rstrip("\r\n"))

    def finish(self, test, timeout=60, sig=None, within=None):
        """Sends sig (if any), waits for status 0 (within `within` seconds); all rows."""
        sent = time.monotonic()
        if sig:
            self.process.send_signal(sig)
        rest, err = self.process.communicate(timeout=timeout)
        self.out = "\n".join(self.lines + rest.decode("latin-1").splitlines())
        self.err = err.decode("latin-1")
        test.assertEqual(self.process.returncode, 0, self.err)
        test.assertLess(time.monotonic() - sent, within or timeout, f"stop on {sig}")
        return parse_rows(self.out)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        stop(self.process)


def http_get(port, target):
    with urllib.request.urlopen(f"http://127.0.0.1:{port}{target}", timeout=5) as answer:
        return json.loads(answer.read().decode("utf-8"))


def assert_port_free(port):
    with socket.socket() as s:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind(("0.0.0.0", port))  # fails while anything still listens there


def project(port=502, **more):
    members = {
        "host": "127.0.0.1", "port": port, "protocol": 0, "modbusaddress": 1,
        "pollrate": 100, "timeout": 500, "retries": 3, "webport": 8888,
        "polls": [{"function": 3, "start": 40, "size": 4, "formatpreset": 1},
                  {"function": 1, "start": 0, "size": 10, "formatpreset": 0},
                  {"function": 6, "start": 50, "size": 1, "formatpreset": 1}],
        "datamap": [{"addr": a, "type": 2, "value": "0"} for a in range(40, 44)]
        + [{"addr": a, "type": 1, "value": "0"} for a in range(0, 4)]
        + [{"addr": 50, "type": 2, "value": "777"}],
    }
    return dict(members, **more)


def find(rows, direction, description):
    """The content (bytes) of the first packet row with this description."""
    for d, text in rows:
        if d == direction and text.startswith(description + " ") and len(text) > len(description) + 1:
            return text[len(description) + 1:]
    raise AssertionError(f"no {direction} {description} in {rows}")


def state(text):
    return ("", text + " ")


class OverTcp(unittest.TestCase):
    """The native program; UnderWine runs the same cases with the Windows build."""
    PROGRAM, ENV, SIGNALS, WAIT = CLI, dict(os.environ), (signal.SIGINT, signal.SIGTERM), 10

    def path(self, path):
        return path

    def run_cli(self, args):
        return run_cli([self.path(a) if a.startswith("/") else a for a in args], self.PROGRAM,
                       self.ENV)

    def running(self, args):
        return Running([self.path(a) if a.startswith("/") else a for a in args], self.PROGRAM,
                       self.ENV)

    def test_prints_every_row_logs_them_saves_the_last_values_and_its_write_reads_back(self):
        with tempfile.TemporaryDirectory() as d, Slave("pymodbus", "tcp", *SLAVE_DATA) as slave:
            path = write_project(d, "plant.xmb", project(slave.port))
            saved, log = os.path.join(d, "saved.xmb"), os.path.join(d, "traffic.log")
            status, out, err = self.run_cli(["--seconds", "2", "--save", saved, "--log", log, path])
            self.assertEqual(status, 0, err)
            rows = parse_rows(out)
            self.assertEqual(rows[:2], [state("Attempting to connect."), state("Connected")])
            self.assertEqual(rows[-1], state("Connection Closed"))
            for direction, description, pdu in [
                ("TX", "Poll 03: Read Input Registers 40 to 43", "01 03 00 28 00 04 "),
                ("RX", "Reply 03: Read Input Registers with 8 bytes of data",
                 "01 03 08 04 D2 16 2E 00 09 FF FF "),
                ("TX", "Poll 01: Read Coils 0 to 9", "01 01 00 00 00 0A "),
                ("RX", "Reply 01: Read Coils with 2 bytes of data", "01 01 02 4D 03 "),
                ("TX", "Poll 06: Write Single Register 50", "01 06 00 32 03 09 "),
                ("RX", "Reply 06: Write Single Register", "01 06 00 32 03 09 "),
            ]:
                content = find(rows, direction, description)
                # MBAP: transaction id, protocol 0, length, then the unit and PDU.
                self.assertTrue(content.endswith(pdu) and content[6:12] == "00 00 ", content)
            with open(log, "rb") as f:
                self.assertEqual(f.read().decode("latin-1").splitlines(), out.splitlines())
            values = saved_values(saved)
            self.assertEqual([values[a] for a in (40, 41, 42, 43, 0, 1, 2, 3, 50)],
                             ["1234", "5678", "9", "65535", "1", "0", "1", "1", "777"])

            # The write reached the slave: one poll reads it back and ends by itself.
            readback = write_project(d, "readback.xmb", project(
                1, host="slave.invalid", polls=[{"function": 3, "start": 50, "size": 1, "formatpreset": 1}],
                datamap=[{"addr": 50, "type": 2, "value": "0"}]))
            started = time.monotonic()
            status, out, err = self.run_cli(["--host", "127.0.0.1", "--port", str(slave.port),
                                             "--do-poll", "0", "--save", saved, readback])
            self.assertEqual(status, 0, err)
            self.assertLess(time.monotonic() - started, self.WAIT / 2)
            self.assertEqual([r[0] for r in parse_rows(out)], ["", "", "TX", "RX", ""], out)
            self.assertEqual(saved_values(saved)[50], "777")
            setup = read_project(saved)
            self.assertEqual((setup["host"], setup["port"]), ("slave.invalid", 1),
                             "--host and --port are not saved")

    def test_web_reads_and_writes_while_it_runs_and_a_signal_stops_it_within_a_second(self):
        # The leak check an ASan build runs at exit takes a share of a second
        # that depends on the machine's load; the other cases check for leaks.
        leaks = (self.ENV.get("ASAN_OPTIONS", "") + ":detect_leaks=0").lstrip(":")
        self.ENV = dict(self.ENV, ASAN_OPTIONS=leaks)
        with tempfile.TemporaryDirectory() as d, Slave("pymodbus", "tcp", *SLAVE_DATA) as slave:
            path = write_project(d, "plant.xmb", project(slave.port))
            saved = os.path.join(d, "saved.xmb")
            for sig in self.SIGNALS:  # under Wine SIGINT is Ctrl-C
                web = free_port()
                with self.running(["--web-port", str(web), "--save", saved, path]) as cli:
                    cli.wait_for_line(r" RX Reply 03: Read Input Registers with 8 bytes", self.WAIT)
                    self.assertEqual(http_get(web, "/41"), [{"name": 41, "value": "5678"}])
                    info = http_get(web, "/9999")  # unmapped: the program information
                    self.assertEqual((info["app"], info["connected"], info["running"]),
                                     ("plant.xmb", True, True), info)
                    # A value written over the web goes out with the next write poll.
                    self.assertEqual(http_get(web, f"/ident?item=50&value={4242 + sig}"),
                                     {"result": "ok"})
                    cli.wait_for_line(f"TX Poll 06: Write Single Register 50 .*01 06 00 32 "
                                      f"{4242 + sig >> 8:02X} {4242 + sig & 255:02X} $")
                    rows = cli.finish(self, 10, sig, within=1.0)
                    self.assertEqual(rows[-1], state("Connection Closed"))
                assert_port_free(web)
                self.assertEqual(saved_values(saved)[50], str(4242 + sig))
                self.assertEqual(read_project(saved)["webport"], 8888, "the project's own port")

    def test_a_slave_that_cannot_be_reached_ends_with_status_one(self):
        with tempfile.TemporaryDirectory() as d:
            path = write_project(d, "nowhere.xmb", project(free_port(), retries=2, timeout=100))
            status, out, err = self.run_cli([path])
            self.assertEqual(status, 1, out + err)
            self.assertIn(state("Connection Failed."), parse_rows(out))
            self.assertIn("could not be reached", err)

    def test_a_project_that_cannot_be_opened_gives_status_two_and_one_line(self):
        # The reader's own messages are its unit tests' business; here the line
        # the program prints around one of them.
        with tempfile.TemporaryDirectory() as d:
            broken = '{\r\n  "port": 502,\r\n  "polls": [ {"function": 3,,} ]\r\n}'
            path = write_project(d, "broken.xmb", raw=broken)
            status, out, err = self.run_cli([path])
            self.assertEqual((status, out, len(err.splitlines())), (2, "", 1), err)
            self.assertRegex(err.strip(),
                             f"^kestrom-master-cli: {re.escape(self.path(path))}: .*\\(line 3\\)$")

    def test_bad_options_give_status_two_and_the_usage(self):
        with tempfile.TemporaryDirectory() as d:
            path = write_project(d, "p.xmb", project())
            # Which arguments are refused is the option parser's unit table.
            status, out, err = self.run_cli(["--bogus", path])
            self.assertEqual(status, 2, err)
            self.assertIn("Usage: kestrom-master-cli", err)
            status, out, err = self.run_cli(["--do-poll", "3", path])
            self.assertEqual(status, 2, err)
            self.assertIn("--do-poll 3", err)
            status, out, _ = self.run_cli(["--help"])
            self.assertEqual(status, 0)
            self.assertIn("--do-poll INDEX", out)


class OverSerial(unittest.TestCase):
    def test_rtu_on_a_pty_pair_prints_rows_traces_serves_the_web_and_saves_values(self):
        with tempfile.TemporaryDirectory() as d, PtyPair() as pair, \
                Slave("pymodbus", "serial", pair.slave_end, "19200", *SLAVE_DATA):
            path = write_project(d, "rtu.xmb", project(
                protocol=1, Serial=True, comport=7, baud=19200, timeout=300,
                polls=[{"function": 3, "start": 40, "size": 4, "formatpreset": 1}]))
            saved, web = os.path.join(d, "saved.xmb"), free_port()
            with Running(["--device", pair.master_end, "--trace", "--seconds", "4",
                          "--web-port", str(web), "--save", saved, path]) as cli:
                cli.wait_for_line(r" RX Reply 03")
                self.assertEqual(http_get(web, "/43"), [{"name": 43, "value": "65535"}])
                rows = cli.finish(self)
            self.assertIn("TX Complete", cli.err, "--trace shows the serial master's steps")
            hexes = lambda frame: " ".join(f"{b:02X}" for b in rtu(bytes(frame))) + " "
            self.assertEqual(find(rows, "TX", "Poll 03: Read Input Registers 40 to 43"),
                             hexes([1, 3, 0, 40, 0, 4]))
            self.assertEqual(find(rows, "RX", "Reply 03: Read Input Registers with 8 bytes of data"),
                             hexes([1, 3, 8, 0x04, 0xD2, 0x16, 0x2E, 0, 9, 0xFF, 0xFF]))
            values = saved_values(saved)
            self.assertEqual([values[a] for a in range(40, 44)], ["1234", "5678", "9", "65535"])


class UnderWine(OverTcp):
    PROGRAM, ENV, SIGNALS, WAIT = WINE, WINE_ENV, (signal.SIGINT,), 60

    def path(self, path):
        return "Z:" + path.replace("/", "\\")  # Wine's drive Z: is the Linux root


if __name__ == "__main__":
    if "UnderWine" in sys.argv:
        if not (WIN_CLI and os.path.exists(WIN_CLI) and shutil.which("wine")):
            print(f"skipped: no Windows build at {WIN_CLI!r} or no wine")
            sys.exit(77)  # ctest's SKIP_RETURN_CODE for this test
        # A wineserver started by the first wine process would inherit this
        # test's pipes and hold them open; one started here, detached, is used
        # instead (it does nothing when one already runs for the prefix).
        subprocess.Popen(["wineserver", "-p", "60"], start_new_session=True, stdin=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=WINE_ENV).wait(30)
        # The first Windows program in a fresh prefix may wait a long while on a
        # busy machine while Wine brings up what it starts on first use; that
        # wait is taken here, not inside a case's time limit.
        try:
            subprocess.run(WINE + ["--help"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, env=WINE_ENV, timeout=150)
        except subprocess.TimeoutExpired:
            print("the program's first start under Wine took over 150 s")
    unittest.main(verbosity=2)
