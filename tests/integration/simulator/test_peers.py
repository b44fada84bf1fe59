"""The simulator against libmodbus (a small client built with the tests) and mbpoll."""

import re
import subprocess
import unittest

from simtest import LIBMODBUS_CLIENT, PtyPair, Simulator

SETUP = ["--set", "hr:0-3=10,20,30,40", "--set", "ir:5=55", "--set", "coil:0-3=1,0,0,1",
         "--set", "di:8-9=1,1"]


def run(argv, timeout=20):
    done = subprocess.run(argv, capture_output=True, text=True, timeout=timeout)
    return done.returncode, done.stdout, done.stderr


class WithLibmodbus(unittest.TestCase):
    OPS = ["read-hr", "0", "4", "read-ir", "4", "2", "read-coils", "0", "4",
           "read-inputs", "8", "3", "write-coil", "7", "1", "write-hr", "9", "999",
           "write-coils", "16", "1,0,1,1,0,1,1,1,0,1", "write-hrs", "20", "5,6,7",
           "read-hr", "20", "3", "read-coils", "16", "10", "read-hr", "65530", "7",
           "write-hr", "1", "2"]
    EXPECTED = ["read-hr 10 20 30 40", "read-ir 0 55", "read-coils 1 0 0 1", "read-inputs 1 1 0",
                "write-coil ok", "write-hr ok", "write-coils ok", "write-hrs ok",
                "read-hr 5 6 7", "read-coils 1 0 1 1 0 1 1 1 0 1",
                "read-hr error Illegal data address", "write-hr ok"]

    def check(self, argv, sim):
        status, out, err = run(argv)
        self.assertEqual(status, 0, err)
        self.assertEqual(out.splitlines(), self.EXPECTED)
        dump = sim.dump()
        self.assertEqual(dump["hr"]["9"], 999)
        self.assertEqual(dump["hr"]["1"], 2)
        self.assertEqual([dump["coil"].get(str(a), 0) for a in range(16, 26)],
                         [1, 0, 1, 1, 0, 1, 1, 1, 0, 1])

    def test_tcp(self):
        with Simulator(*SETUP) as sim:
            self.check([LIBMODBUS_CLIENT, "tcp", str(sim.port), "1"] + self.OPS, sim)

    def test_rtu_on_a_pty_pair_at_19200_even_parity(self):
        with PtyPair() as pair, Simulator(*SETUP, "--baud", "19200", "--parity", "even",
                                          "--unit", "3", serial=pair.slave_end) as sim:
            self.check([LIBMODBUS_CLIENT, "rtu", pair.master_end, "19200", "E", "3"] + self.OPS,
                       sim)


def mbpoll_values(out):
    return [int(v) for v in re.findall(r"^\[\d+\]:\s+(-?\d+)", out, re.M)]


class WithMbpoll(unittest.TestCase):
    def test_tcp_reads_writes_and_exception(self):
        with Simulator(*SETUP) as sim:
            base = ["mbpoll", "-m", "tcp", "-p", str(sim.port), "-a", "1", "-0", "-1", "-o", "2"]
            status, out, _ = run(base + ["-r", "0", "-c", "4", "-t", "4", "127.0.0.1"])
            self.assertEqual((status, mbpoll_values(out)), (0, [10, 20, 30, 40]))
            status, out, _ = run(base + ["-r", "8", "-c", "2", "-t", "1", "127.0.0.1"])
            self.assertEqual((status, mbpoll_values(out)), (0, [1, 1]))
            status, _, _ = run(base + ["-r", "100", "-t", "4", "127.0.0.1", "7", "8", "9"])
            self.assertEqual(status, 0)
            status, out, _ = run(base + ["-r", "100", "-c", "3", "-t", "3", "127.0.0.1"])
            self.assertEqual(mbpoll_values(out), [0, 0, 0], "input registers are another table")
            status, out, err = run(base + ["-r", "65535", "-c", "2", "-t", "4", "127.0.0.1"])
            self.assertNotEqual(status, 0)
            self.assertIn("Illegal data address", out + err)
            self.assertEqual(sim.write_lines(3), ["write hr 100 7", "write hr 101 8",
                                                  "write hr 102 9"])

    def test_rtu_32_bit_float_in_holding_registers(self):
        with PtyPair() as pair, Simulator("--set", "hr:10:f32=-12.5", "--parity", "even",
                                          "--baud", "38400", serial=pair.slave_end):
            status, out, err = run(["mbpoll", "-m", "rtu", "-b", "38400", "-P", "even", "-a", "1",
                                    "-0", "-1", "-o", "2", "-B", "-r", "10", "-t", "4:float",
                                    pair.master_end])
            self.assertEqual(status, 0, out + err)
            self.assertRegex(out, r"\[10\]:\s+-12\.5")


if __name__ == "__main__":
    unittest.main()
