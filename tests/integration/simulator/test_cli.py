"""The simulator's command line: help, refusals of bad input, output and shutdown."""

import json
import signal
import socket
import subprocess
import time
import unittest

from simtest import SIM, Simulator, transact


def run(*args):
    done = subprocess.run([SIM, *args], capture_output=True, text=True, timeout=20)
    return done.returncode, done.stdout, done.stderr


class CommandLine(unittest.TestCase):
    def test_help_documents_every_option_and_fault(self):
        status, out, _ = run("--help")
        self.assertEqual(status, 0)
        for word in ["--port", "--bind", "--max-clients", "--serial", "--baud", "--parity",
                     "--data-bits", "--stop-bits", "--gap", "--framing", "--unit", "--set",
                     "--animate", "--animate-only", "--item-count", "--fault", "--seed",
                     "--close-after", "--refuse", "--no-listen", "--dump-on-exit", "--quiet",
                     "--verbose", "delay=", "drop", "exception=", "bad-tid", "bad-unit",
                     "bad-crc", "split=", "split-at=", "trickle=", "pair", "twice", "garbage=",
                     "noise=", "close", "reply-close", "cut", "truncate=", "req=", "conn=", "conn-req=",
                     "every=", "addr=", "fc=", "prob="]:
            self.assertIn(word, out)

    def test_bad_input_gives_a_message_and_status_2(self):
        cases = [
            (["--bogus"], "unknown option"),
            (["--port", "70000"], "--port needs a number from 0 to 65535"),
            (["--port"], "--port needs a value"),
            (["--set", "hr:100"], "needs TABLE:ADDRESS=VALUE"),
            (["--set", "xx:1=2"], "unknown table"),
            (["--set", "coil:1=2"], "a bit is 0 or 1"),
            (["--set", "hr:1=70000"], "not a 16-bit value"),
            (["--set", "hr:0-2=1,2,3,4"], "more values than the range"),
            (["--set", "hr:65535:f32=1"], "does not fit"),
            (["--set", "float:1:f32=1"], "only hr and ir take a type"),
            (["--fault", "explode"], "unknown fault action"),
            (["--fault", "delay:req=1"], "needs a number"),
            (["--fault", "drop:req=5-2"], "needs N or N-M"),
            (["--fault", "drop:prob=1.5"], "from 0 to 1"),
            (["--fault", "drop:when=1"], "unknown fault condition"),
            (["--parity", "mark"], "none, even or odd"),
            (["--refuse", "conn=3-1"], "--refuse needs N, all or conn=N[-M]"),
            (["--serial", "/dev/null", "--baud", "12345"], "unsupported baud rate"),
        ]
        for args, message in cases:
            status, out, err = run(*args)
            self.assertEqual(status, 2, args)
            self.assertIn(message, err, args)
            self.assertEqual(out, "", "nothing starts: %r" % args)

    def test_a_link_that_cannot_be_set_up_gives_status_1(self):
        status, _, err = run("--serial", "/nonexistent/tty")
        self.assertEqual(status, 1)
        self.assertIn("/nonexistent/tty", err)
        with socket.socket() as taken:
            taken.bind(("127.0.0.1", 0))
            taken.listen(1)
            status, _, err = run("--port", str(taken.getsockname()[1]))
        self.assertEqual(status, 1)
        self.assertIn("cannot bind", err)

    def test_sigint_stops_cleanly_and_writes_the_dump(self):
        sim = Simulator("--set", "double:3=-0.5", "--set", "hr:2=3")
        try:
            transact(sim.port, bytes([6, 0, 4, 0, 5]))
            began = time.monotonic()
            sim.process.send_signal(signal.SIGINT)
            self.assertEqual(sim.process.wait(5), 0)
            self.assertLess(time.monotonic() - began, 1.5)
            with open(sim.dump_path) as f:
                dump = json.load(f)
            self.assertEqual(dump, {"coil": {}, "di": {}, "hr": {"2": 3, "4": 5}, "ir": {},
                                    "float": {}, "double": {"3": -0.5}})
            with self.assertRaises(ConnectionRefusedError, msg="the port is released"):
                socket.create_connection(("127.0.0.1", sim.port), timeout=2)
        finally:
            sim.__exit__()

    def test_verbose_logs_frames_in_hex(self):
        with Simulator("--verbose") as sim:
            transact(sim.port, bytes([3, 0, 0, 0, 1]), tid=0x0A0B)
            time.sleep(0.1)
            sim.stop()
            err = sim.stderr_text()
        self.assertIn(": 0A 0B 00 00 00 06 01 03 00 00 00 01", err)
        self.assertIn("tx ", err)
        self.assertIn("0A 0B 00 00 00 05 01 03 02 00 00", err)

    def test_quiet_prints_only_the_first_line(self):
        with Simulator(quiet=True) as sim:
            transact(sim.port, bytes([6, 0, 4, 0, 5]))
            sim.stop()
            self.assertEqual(sim.process.stdout.read(), b"")
            self.assertEqual(sim.stderr_text(), "")

    def test_more_clients_than_allowed_are_closed_until_a_slot_frees(self):
        with Simulator("--max-clients", "1", quiet=True) as sim:
            first = socket.create_connection(("127.0.0.1", sim.port), timeout=2)
            try:
                with socket.create_connection(("127.0.0.1", sim.port), timeout=2) as second:
                    self.assertEqual(second.recv(10), b"", "the second client is closed")
            finally:
                first.close()
            # The first connection's end reaches the slave a moment later.
            deadline = time.monotonic() + 5
            while True:
                try:
                    self.assertEqual(transact(sim.port, bytes([7])), bytes([0x87, 1]))
                    break
                except (ConnectionError, AssertionError):
                    if time.monotonic() > deadline:
                        raise
                    time.sleep(0.05)

if __name__ == "__main__":
    unittest.main()
