"""kestrom-master-cli end to end against pymodbus slaves over TCP and over a
socat pty pair, with the rows, the saved values, the log, the exit statuses
and the stop on a signal checked from outside, as a script would use it."""

import os
import signal
import socket
import struct
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from clitest import (PtyPair, Peer, TempDir, free_port, http_get, parse_rows,  # noqa: E402
                     read_project, run_cli, saved_values, start_cli, stop, wait_for_line,
                     write_project)


def crc16(data: bytes) -> int:
    crc = 0xFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def rtu_hex(frame: bytes) -> str:
    return " ".join(f"{b:02X}" for b in frame + struct.pack("<H", crc16(frame))) + " "


def project(port=502, **more):
    members = {
        "host": "127.0.0.1", "port": port, "protocol": 0, "modbusaddress": 1,
        "pollrate": 100, "timeout": 500, "retries": 3, "webport": 8888,
        "polls": [
            {"function": 3, "start": 40, "size": 4, "formatpreset": 1},
            {"function": 1, "start": 0, "size": 10, "formatpreset": 0},
            {"function": 6, "start": 50, "size": 1, "formatpreset": 1},
        ],
        "datamap": [{"addr": a, "type": 2, "value": "0"} for a in range(40, 44)]
        + [{"addr": a, "type": 1, "value": "0"} for a in range(0, 4)]
        + [{"addr": 50, "type": 2, "value": "777"}],
    }
    members.update(more)
    return members


def find(rows, direction, description):
    """The rows of a packet with this description; row[1] ends with its bytes."""
    return [r for r in rows if r[0] == direction and r[1].startswith(description + " ")
            and len(r[1]) > len(description) + 1]


def state(text):
    return ("", text + " ")


class OverTcp(unittest.TestCase):
    def test_prints_every_row_logs_them_and_saves_the_last_values(self):
        with TempDir() as d, Peer.tcp() as peer:
            path = write_project(os.path.join(d, "plant.xmb"), project(peer.port))
            saved, log = os.path.join(d, "saved.xmb"), os.path.join(d, "traffic.log")
            status, out, err = run_cli(["--seconds", "2", "--save", saved, "--log", log, path])
            self.assertEqual(status, 0, err)
            rows = parse_rows(out)
            self.assertEqual(rows[0], state("Attempting to connect."))
            self.assertEqual(rows[1], state("Connected"))
            self.assertEqual(rows[-1], state("Connection Closed"))
            expected = [
                ("TX", "Poll 03: Read Input Registers 40 to 43", "01 03 00 28 00 04 "),
                ("RX", "Reply 03: Read Input Registers with 8 bytes of data",
                 "01 03 08 04 D2 16 2E 00 09 FF FF "),
                ("TX", "Poll 01: Read Coils 0 to 9", "01 01 00 00 00 0A "),
                ("RX", "Reply 01: Read Coils with 2 bytes of data", "01 01 02 4D 03 "),
                ("TX", "Poll 06: Write Single Register 50", "01 06 00 32 03 09 "),
                ("RX", "Reply 06: Write Single Register", "01 06 00 32 03 09 "),
            ]
            for direction, description, pdu in expected:
                found = find(rows, direction, description)
                self.assertTrue(found, f"no {direction} {description} in\n{out}")
                # MBAP: transaction id, protocol 0, length, then the unit and PDU.
                content = found[0][1][len(description) + 1:]
                self.assertTrue(content.endswith(pdu), found[0])
                self.assertEqual(content[6:12], "00 00 ", found[0])
            with open(log, "rb") as f:
                logged = f.read().decode("latin-1").splitlines()
            self.assertEqual(logged, out.splitlines(), "the log holds the printed rows")

            values = saved_values(saved)
            self.assertEqual([values[a] for a in range(40, 44)], ["1234", "5678", "9", "65535"])
            self.assertEqual([values[a] for a in range(0, 4)], ["1", "0", "1", "1"])
            self.assertEqual(values[50], "777")

            # The write reached the slave: one poll reads it back and ends.
            readback = project(peer.port, polls=[{"function": 3, "start": 50, "size": 1,
                                                  "formatpreset": 1}],
                               datamap=[{"addr": 50, "type": 2, "value": "0"}])
            path2 = write_project(os.path.join(d, "readback.xmb"), readback)
            saved2 = os.path.join(d, "saved2.xmb")
            started = time.monotonic()
            status, out, err = run_cli(["--do-poll", "0", "--save", saved2, path2])
            self.assertEqual(status, 0, err)
            self.assertLess(time.monotonic() - started, 5, "a single poll ends by itself")
            rows = parse_rows(out)
            self.assertEqual([r[0] for r in rows], ["", "", "TX", "RX", ""], out)
            self.assertEqual(saved_values(saved2)[50], "777")

    def test_the_web_interface_answers_while_it_runs_and_its_port_is_freed(self):
        with TempDir() as d, Peer.tcp() as peer:
            path = write_project(os.path.join(d, "plant.xmb"), project(peer.port))
            saved = os.path.join(d, "saved.xmb")
            web = free_port()
            cli = start_cli(["--web-port", str(web), "--save", saved, path])
            try:
                wait_for_line(cli, r" RX Reply 03: Read Input Registers with 8 bytes")
                self.assertEqual(http_get(web, "/41"), [{"name": 41, "value": "5678"}])
                info = http_get(web, "/9999")  # unmapped: the program information
                self.assertEqual((info["app"], info["connected"], info["running"]),
                                 ("plant.xmb", True, True), info)
                # A value written over the web goes out with the next write poll.
                self.assertEqual(http_get(web, "/ident?item=50&value=4242"), {"result": "ok"})
                wait_for_line(cli, r"TX Poll 06: Write Single Register 50 .*01 06 00 32 10 92 $")
                cli.send_signal(signal.SIGINT)
                cli.wait(5)
                self.assertEqual(cli.returncode, 0, cli.stderr.read())
            finally:
                stop(cli)
                cli.stdout.close()
                cli.stderr.close()
            self.assertEqual(saved_values(saved)[50], "4242")
            self.assertEqual(read_project(saved)["webport"], 8888, "the project's own web port")
            with socket.socket() as s:
                s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
                s.bind(("0.0.0.0", web))  # fails while anything still listens there

    def test_a_signal_stops_within_a_second_with_status_zero(self):
        with TempDir() as d, Peer.tcp() as peer:
            path = write_project(os.path.join(d, "plant.xmb"), project(peer.port))
            for sig in (signal.SIGINT, signal.SIGTERM):
                web = free_port()
                # The leak check that an ASan build runs at exit takes a
                # share of a second that depends on the machine's load; the
                # other cases check for leaks, this one times the stop.
                env = dict(os.environ)
                env["ASAN_OPTIONS"] = (env.get("ASAN_OPTIONS", "") + ":detect_leaks=0").lstrip(":")
                cli = start_cli(["--web-port", str(web), path], env=env)
                try:
                    wait_for_line(cli, r" RX Reply ")
                    self.assertIn("name", http_get(web, "/40")[0])
                    sent = time.monotonic()
                    cli.send_signal(sig)
                    cli.wait(5)
                    self.assertLess(time.monotonic() - sent, 1.0, f"stop on {sig}")
                    self.assertEqual(cli.returncode, 0, f"{sig}: {cli.stderr.read()}")
                    tail = cli.stdout.read().decode("latin-1").splitlines()
                    self.assertTrue(tail and tail[-1].endswith("  Connection Closed "), tail)
                    with socket.socket() as s:
                        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
                        s.bind(("0.0.0.0", web))
                finally:
                    stop(cli)
                    cli.stdout.close()
                    cli.stderr.close()

    def test_a_slave_that_cannot_be_reached_ends_with_status_one(self):
        with TempDir() as d:
            path = write_project(os.path.join(d, "nowhere.xmb"),
                                 project(free_port(), retries=2, timeout=100))
            status, out, err = run_cli([path], timeout=20)
            self.assertEqual(status, 1, out + err)
            rows = parse_rows(out)
            self.assertIn(state("Connection Failed."), rows)
            self.assertIn("could not be reached", err)

    def test_host_and_port_options_choose_the_slave_but_are_not_saved(self):
        with TempDir() as d, Peer.tcp() as peer:
            path = write_project(os.path.join(d, "plant.xmb"),
                                 project(1, host="slave.invalid"))
            saved = os.path.join(d, "saved.xmb")
            status, out, err = run_cli(["--host", "127.0.0.1", "--port", str(peer.port),
                                        "--do-poll", "0", "--save", saved, path])
            self.assertEqual(status, 0, err)
            self.assertTrue(find(parse_rows(out), "RX",
                                 "Reply 03: Read Input Registers with 8 bytes of data"), out)
            setup = read_project(saved)
            self.assertEqual((setup["host"], setup["port"]), ("slave.invalid", 1))


class OverSerial(unittest.TestCase):
    def test_rtu_on_a_pty_pair_prints_rows_traces_and_saves_values(self):
        with TempDir() as d, PtyPair(d) as pair, Peer.rtu(pair.a):
            members = project(protocol=1, Serial=True, comport=7, baud=19200, timeout=300,
                              polls=[{"function": 3, "start": 40, "size": 4, "formatpreset": 1}])
            path = write_project(os.path.join(d, "rtu.xmb"), members)
            saved = os.path.join(d, "saved.xmb")
            web = free_port()
            cli = start_cli(["--device", pair.b, "--trace", "--seconds", "4",
                             "--web-port", str(web), "--save", saved, path])
            try:
                lines = wait_for_line(cli, r" RX Reply 03")
                self.assertEqual(http_get(web, "/43"), [{"name": 43, "value": "65535"}])
                rest, err = cli.communicate(timeout=20)
            finally:
                stop(cli)
            out = "\n".join(lines) + "\n" + rest.decode("latin-1")
            err = err.decode("latin-1")
            self.assertEqual(cli.returncode, 0, err)
            rows = parse_rows(out)
            request = rtu_hex(bytes([1, 3, 0, 40, 0, 4]))
            reply = rtu_hex(bytes([1, 3, 8, 0x04, 0xD2, 0x16, 0x2E, 0, 9, 0xFF, 0xFF]))
            self.assertIn(("TX", "Poll 03: Read Input Registers 40 to 43 " + request), rows)
            self.assertIn(("RX", "Reply 03: Read Input Registers with 8 bytes of data " + reply),
                          rows, out)
            self.assertIn("TX Complete", err, "--trace shows the serial master's steps")
            values = saved_values(saved)
            self.assertEqual([values[a] for a in range(40, 44)], ["1234", "5678", "9", "65535"])

    def test_a_device_that_cannot_be_opened_ends_with_status_one(self):
        with TempDir() as d:
            path = write_project(os.path.join(d, "rtu.xmb"), project(protocol=1, Serial=True))
            status, out, err = run_cli(["--device", os.path.join(d, "no-such-tty"), path])
            self.assertEqual(status, 1, out + err)
            self.assertIn(state("Connection Failed."), parse_rows(out))


class BadInput(unittest.TestCase):
    def assert_one_line_about(self, args, path, *fragments):
        status, out, err = run_cli(args)
        self.assertEqual(status, 2, out + err)
        self.assertEqual(out, "")
        lines = err.splitlines()
        self.assertEqual(len(lines), 1, err)
        self.assertTrue(lines[0].startswith(f"kestrom-master-cli: {path}: "), lines[0])
        for fragment in fragments:
            self.assertRegex(lines[0], fragment)

    def test_a_project_that_cannot_be_opened_gives_status_two_and_one_line(self):
        with TempDir() as d:
            missing = os.path.join(d, "missing.xmb")
            self.assert_one_line_about([missing], missing)
            broken = write_project(os.path.join(d, "broken.xmb"), None,
                                   raw='{\r\n  "port": 502,\r\n  "polls": [ {"function": 3,,} ]\r\n}')
            self.assert_one_line_about([broken], broken, r"\(line 3\)$")
            no_start = write_project(os.path.join(d, "nostart.xmb"),
                                     {"polls": [{"function": 3, "size": 2}]})
            self.assert_one_line_about([no_start], no_start, "start")

    def test_bad_options_give_status_two_and_the_usage(self):
        with TempDir() as d:
            path = write_project(os.path.join(d, "p.xmb"), project())
            for args in (["--bogus", path], ["--seconds", "0", path], [], [path, path]):
                status, out, err = run_cli(args)
                self.assertEqual(status, 2, args)
                self.assertIn("Usage: kestrom-master-cli", err, args)
            status, out, err = run_cli(["--do-poll", "3", path])
            self.assertEqual(status, 2, err)
            self.assertIn("--do-poll 3", err)
            status, out, _ = run_cli(["--help"])
            self.assertEqual(status, 0)
            self.assertIn("--do-poll INDEX", out)


if __name__ == "__main__":
    unittest.main(verbosity=2)
