"""The slave simulator against clients nobody here wrote (pymodbus, libmodbus,
mbpoll) over TCP and socat pty pairs, its frames and every fault family as
bytes on the wire, and its command line."""
import ctypes
import json
import logging
import os
import re
import select
import signal
import socket
import struct
import subprocess
import time
import tty
import unittest

from pymodbus.client import ModbusSerialClient, ModbusTcpClient
from pymodbus.framer.rtu_framer import ModbusRtuFramer

from peer_slave import libmodbus
from peers import (SIM, PtyPair, Simulator, connect, crc16, mbap, recv_exactly, recv_mbap, rtu,
                   transact)

logging.getLogger("pymodbus").setLevel(logging.CRITICAL)
READ = bytes([3, 0, 0, 0, 2])  # two holding registers from address 0
REPLY = 7 + 2 + 4
SETUP = ["--set", "hr:0-3=10,20,30,40", "--set", "ir:5=55", "--set", "coil:0-3=1,0,0,1",
         "--set", "di:8-9=1,1"]


def run(*argv, timeout=20):
    done = subprocess.run(argv, capture_output=True, text=True, timeout=timeout)
    return done.returncode, done.stdout, done.stderr


def tid_of(frame: bytes) -> int:
    return struct.unpack(">H", frame[:2])[0]


def silent(s: socket.socket, wait: float = 0.3) -> bool:
    """True when nothing arrives (and the peer does not close) within `wait`."""
    s.settimeout(wait)
    try:
        s.recv(100)
        return False
    except socket.timeout:
        return True


class RawLine:
    """The master's end of a pty pair, read and written byte for byte."""

    def __init__(self, device):
        self.fd = os.open(device, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.fd)

    def exchange(self, frame: bytes, first: float = 2.0) -> bytes:
        """Sends a frame; the bytes until the line has been quiet 150 ms."""
        os.write(self.fd, frame)
        data, deadline = b"", time.monotonic() + first + 5
        while time.monotonic() < deadline:
            ready, _, _ = select.select([self.fd], [], [], 0.15 if data else first)
            if not ready:
                break
            data += os.read(self.fd, 512)
        return data


class Clients(unittest.TestCase):
    """One run per client library and link: reads, writes read back, an exception."""

    def check_pymodbus(self, client, sim):
        self.assertTrue(client.connect())
        try:
            self.assertEqual(client.read_coils(0, 4, slave=1).bits[:4], [True, False, False, True])
            self.assertEqual(client.read_discrete_inputs(8, 2, slave=1).bits[:2], [True, True])
            self.assertEqual(client.read_holding_registers(0, 4, slave=1).registers, [10, 20, 30, 40])
            self.assertEqual(client.read_input_registers(5, 1, slave=1).registers, [55])
            self.assertFalse(client.write_coil(20, True, slave=1).isError())
            self.assertFalse(client.write_register(30, 4321, slave=1).isError())
            self.assertFalse(client.write_coils(40, [True, False, True], slave=1).isError())
            self.assertFalse(client.write_registers(50, [1, 65535], slave=1).isError())
            self.assertEqual(client.read_coils(40, 3, slave=1).bits[:3], [True, False, True])
            self.assertEqual(client.read_holding_registers(0, 126, slave=1).exception_code, 3)
            self.assertEqual(client.read_input_registers(65500, 100, slave=1).exception_code, 2)
        finally:
            client.close()
        self.assertEqual(sim.write_lines(7), ["write coil 20 1", "write hr 30 4321",
                                              "write coil 40 1", "write coil 41 0",
                                              "write coil 42 1", "write hr 50 1",
                                              "write hr 51 65535"])
        dump = sim.dump()
        self.assertEqual((dump["hr"]["30"], dump["hr"]["51"], dump["coil"]["42"]), (4321, 65535, 1))
        self.assertNotIn("41", dump["coil"], "a zero is not in the dump")

    def test_pymodbus_over_tcp_and_on_a_pty_pair(self):
        with Simulator(*SETUP) as sim:
            self.check_pymodbus(ModbusTcpClient("127.0.0.1", port=sim.port, timeout=2), sim)
        with PtyPair() as pair, Simulator(*SETUP, "--baud", "115200",
                                          serial=pair.slave_end) as sim:
            self.check_pymodbus(ModbusSerialClient(port=pair.master_end, framer=ModbusRtuFramer,
                                                   baudrate=115200, timeout=2), sim)

    def check_libmodbus(self, lib, ctx, sim):
        registers, bits = (ctypes.c_uint16 * 8)(), (ctypes.c_uint8 * 8)()
        self.assertEqual(lib.modbus_connect(ctx), 0)
        try:
            self.assertEqual(lib.modbus_read_registers(ctx, 0, 4, registers), 4)
            self.assertEqual(registers[:4], [10, 20, 30, 40])
            self.assertEqual(lib.modbus_read_input_bits(ctx, 8, 3, bits), 3)
            self.assertEqual(bits[:3], [1, 1, 0])
            self.assertEqual(lib.modbus_write_bits(ctx, 16, 3, (ctypes.c_uint8 * 3)(1, 0, 1)), 3)
            self.assertEqual(lib.modbus_write_registers(ctx, 20, 2, (ctypes.c_uint16 * 2)(5, 6)), 2)
            self.assertEqual(lib.modbus_read_registers(ctx, 65530, 7, registers), -1)
            self.assertIn(b"Illegal data address", lib.modbus_strerror(ctypes.get_errno()))
        finally:
            lib.modbus_close(ctx)
            lib.modbus_free(ctx)
        dump = sim.dump()
        self.assertEqual((dump["hr"]["20"], dump["hr"]["21"]), (5, 6))
        self.assertEqual([dump["coil"].get(str(a), 0) for a in (16, 17, 18)], [1, 0, 1])

    def test_libmodbus_over_tcp_and_on_a_pty_pair_at_19200_even_parity(self):
        lib = libmodbus()
        with Simulator(*SETUP) as sim:
            self.check_libmodbus(lib, ctypes.c_void_p(lib.modbus_new_tcp(b"127.0.0.1", sim.port)), sim)
        with PtyPair() as pair, Simulator(*SETUP, "--baud", "19200", "--parity", "even", "--unit",
                                          "3", serial=pair.slave_end) as sim:
            ctx = ctypes.c_void_p(lib.modbus_new_rtu(pair.master_end.encode(), 19200,
                                                     ctypes.c_char(b"E"), 8, 1))
            lib.modbus_set_slave(ctx, 3)
            self.check_libmodbus(lib, ctx, sim)

    def test_mbpoll_over_tcp_and_a_float_on_a_pty_pair(self):
        values = lambda out: [int(v) for v in re.findall(r"^\[\d+\]:\s+(-?\d+)", out, re.M)]
        with Simulator(*SETUP) as sim:
            base = ["mbpoll", "-m", "tcp", "-p", str(sim.port), "-a", "1", "-0", "-1", "-o", "2"]
            status, out, _ = run(*base, "-r", "0", "-c", "4", "-t", "4", "127.0.0.1")
            self.assertEqual((status, values(out)), (0, [10, 20, 30, 40]))
            self.assertEqual(run(*base, "-r", "100", "-t", "4", "127.0.0.1", "7", "8")[0], 0)
            self.assertEqual(sim.write_lines(2), ["write hr 100 7", "write hr 101 8"])
            status, out, err = run(*base, "-r", "65535", "-c", "2", "-t", "4", "127.0.0.1")
            self.assertIn("Illegal data address", out + err)
        with PtyPair() as pair, Simulator("--set", "hr:10:f32=-12.5", "--baud", "38400",
                                          serial=pair.slave_end):
            status, out, err = run("mbpoll", "-m", "rtu", "-b", "38400", "-P", "none", "-a", "1",
                                   "-0", "-1", "-o", "2", "-B", "-r", "10", "-t", "4:float",
                                   pair.master_end)
            self.assertEqual(status, 0, out + err)
            self.assertRegex(out, r"\[10\]:\s+-12\.5")


class Frames(unittest.TestCase):
    """Exact bytes: the float functions and the corners no client library sends."""

    def test_float_functions_count_items_and_take_no_byte_count(self):
        with Simulator("--set", "float:300-301=1.5,-2", "--set", "double:7=0.1", "--unit", "9") as sim:
            self.assertEqual(transact(sim.port, bytes([65, 0, 0, 0x01, 0x2C, 2]), 9).hex(" "),
                             "41 02 3f c0 00 00 c0 00 00 00", "item count 2, 1.5 and -2.0")
            self.assertEqual(transact(sim.port, bytes([67, 0, 0, 0, 7, 1]), 9),
                             bytes([67, 1]) + struct.pack(">d", 0.1))
            pdu = bytes([66, 0, 0, 0, 2, 2]) + struct.pack(">ff", 1.0, -2.0)
            self.assertEqual(transact(sim.port, pdu, 9).hex(" "), "42 02")
            pdu = bytes([68, 0, 0, 0x12, 0x34, 1]) + struct.pack(">d", 6.25)
            self.assertEqual(transact(sim.port, pdu, 9).hex(" "), "44 01")
            dump = sim.dump()
            self.assertEqual((dump["float"]["2"], dump["float"]["3"]), (1.0, -2.0))
            self.assertEqual(dump["double"][str(0x1234)], 6.25)

    def test_requests_that_do_not_fit_get_the_standard_exceptions(self):
        cases = [
            (bytes([65, 0, 1, 0, 0, 1]), "c1 02", "start above 65535"),
            (bytes([65, 0, 0, 0xFF, 0xFF, 2]), "c1 02", "runs past the last address"),
            (bytes([65, 0, 0, 0, 0, 63]), "c1 03", "63 floats do not fit a reply"),
            (bytes([66, 0, 0, 0, 0, 2]) + bytes(4), "c2 03", "data shorter than the count"),
            (bytes([7]), "87 01", "function 7 is not served"),
            (bytes([5, 0, 1, 0x12, 0x34]), "85 03", "a coil is FF 00 or 00 00"),
            (bytes([3, 0, 0, 0]), "83 03", "count missing"),
            (bytes([16, 0, 0, 0, 2, 3, 0, 1, 0]), "90 03", "byte count is not 2 x count"),
            (bytes([15, 0, 0, 0, 9, 1, 0xFF]), "8f 03", "9 coils need 2 bytes"),
        ]
        with Simulator() as sim:
            for pdu, expected, why in cases:
                self.assertEqual(transact(sim.port, pdu).hex(" "), expected, why)
            for unit in (1, 0, 255):
                self.assertEqual(transact(sim.port, READ, unit)[0], 3, "unit %d is answered" % unit)
            with connect(sim.port) as s:
                s.sendall(mbap(5, 8, READ))
                self.assertTrue(silent(s), "unit 8 is not this slave")

    def test_rtu_frames_on_a_line_and_each_framing_on_the_other_link(self):
        with PtyPair() as pair, Simulator("--unit", "5", "--set", "hr:0=4660",
                                          serial=pair.slave_end):
            line = RawLine(pair.master_end)
            self.assertEqual(line.exchange(rtu(bytes([5, 3, 0, 0, 0, 1]))),
                             rtu(bytes([5, 3, 2, 0x12, 0x34])))
            self.assertEqual(line.exchange(rtu(bytes([6, 3, 0, 0, 0, 1])), 0.4), b"",
                             "slave 6 is someone else")
            self.assertEqual(line.exchange(rtu(bytes([5, 3, 0, 0, 0, 1]))[:-1] + b"\0", 0.4), b"",
                             "a corrupt frame is not answered")
            self.assertEqual(line.exchange(rtu(bytes([0, 6, 0, 40, 0, 99])), 0.4), b"",
                             "a broadcast write is carried out without an answer")
            self.assertEqual(line.exchange(rtu(bytes([5, 3, 0, 40, 0, 1])))[3:5], b"\x00\x63")
            os.close(line.fd)
        with PtyPair() as pair, Simulator("--framing", "tcp", "--set", "ir:1=5",
                                          serial=pair.slave_end):
            line = RawLine(pair.master_end)
            self.assertEqual(line.exchange(mbap(0xBEEF, 1, bytes([4, 0, 1, 0, 1]))).hex(" "),
                             "be ef 00 00 00 05 01 04 02 00 05")
            os.close(line.fd)
        with Simulator("--framing", "rtu", "--set", "coil:0-2=1,0,1") as sim, connect(sim.port) as s:
            s.sendall(rtu(bytes([1, 1, 0, 0, 0, 3])))
            self.assertEqual(recv_exactly(s, 6), rtu(bytes([1, 1, 1, 0b101])))


class Faults(unittest.TestCase):
    """Each fault family as it appears on the wire."""

    def test_reply_faults_chosen_by_request_number(self):
        faults = ["bad-tid:req=1", "bad-unit:req=2", "exception=6:req=3", "drop:req=4",
                  "twice:req=5", "noise=3:req=6", "pair:req=7", "garbage=5:req=9"]
        with Simulator(*[a for f in faults for a in ("--fault", f)], "--quiet") as sim, \
                connect(sim.port) as s:
            s.sendall(mbap(0x1234, 1, READ))
            self.assertEqual(tid_of(recv_mbap(s)), 0x1235, "bad-tid")
            s.sendall(mbap(2, 1, READ))
            self.assertEqual(recv_mbap(s)[6], 2, "bad-unit")
            s.sendall(mbap(3, 1, READ))
            self.assertEqual(recv_mbap(s)[7:].hex(" "), "83 06", "exception")
            s.sendall(mbap(4, 1, bytes([6, 0, 9, 0, 7])))
            self.assertTrue(silent(s), "drop")
            s.sendall(mbap(5, 1, bytes([3, 0, 9, 0, 1])))
            twice = recv_exactly(s, 2 * 11)
            self.assertEqual((twice[:11], twice[9:11]), (twice[11:], b"\x00\x07"),
                             "twice, and the dropped write was carried out")
            s.sendall(mbap(6, 1, READ))
            self.assertEqual(tid_of(recv_exactly(s, 3 + REPLY)[3:]), 6, "noise")
            s.sendall(mbap(7, 1, READ))
            self.assertTrue(silent(s), "pair holds the reply back")
            s.sendall(mbap(8, 1, READ))
            both = recv_exactly(s, 2 * REPLY)
            self.assertEqual((tid_of(both), tid_of(both[REPLY:])), (7, 8), "pair")
            s.sendall(mbap(9, 1, READ))
            self.assertEqual(len(recv_exactly(s, 5)), 5)
            self.assertTrue(silent(s, 0.2), "garbage: exactly 5 bytes")

    def test_delay_split_and_trickle_shape_the_timing(self):
        with Simulator("--fault", "delay=500:req=1", "--fault", "split=300+split-at=3:req=2",
                       "--fault", "trickle=30:req=3", "--quiet") as sim, connect(sim.port) as s:
            began = time.monotonic()
            s.sendall(mbap(1, 1, READ))
            self.assertEqual(tid_of(recv_mbap(s)), 1)
            self.assertGreaterEqual(time.monotonic() - began, 0.49, "delay")
            s.sendall(mbap(2, 1, READ))
            self.assertEqual(len(s.recv(100)), 3, "split at 3 bytes")
            began = time.monotonic()
            self.assertEqual(len(recv_exactly(s, REPLY - 3)), REPLY - 3)
            self.assertGreater(time.monotonic() - began, 0.2, "split pause")
            s.sendall(mbap(3, 1, READ))
            sizes = []
            while sum(sizes) < REPLY:
                sizes.append(len(s.recv(100)))
            # A busy machine may let two bytes meet in our buffer now and then.
            self.assertGreaterEqual(sizes.count(1), REPLY - 3, sizes)

    def test_connection_faults(self):
        with Simulator("--close-after", "2", "--refuse", "conn=2", "--fault", "close:conn=3",
                       "--quiet") as sim:
            with connect(sim.port) as s:
                for tid in (1, 2):
                    s.sendall(mbap(tid, 1, READ))
                    self.assertEqual(tid_of(recv_mbap(s)), tid)
                self.assertEqual(recv_exactly(s, 1, 2), b"", "closed after the second reply")
            for what in ("refused", "closed instead of answering"):
                with connect(sim.port) as s:
                    try:
                        s.sendall(mbap(1, 1, READ))
                        self.assertEqual(recv_exactly(s, 1, 2), b"", what)
                    except (BrokenPipeError, ConnectionResetError):
                        pass
        with Simulator("--no-listen") as sim:
            self.assertTrue(sim.first_line.startswith("refusing on"), sim.first_line)
            self.assertRaises(ConnectionRefusedError, connect, sim.port)

    def test_random_cuts_repeat_with_the_seed_and_leave_no_descriptor_behind(self):
        def cuts(seed, connections):
            lengths = []
            with Simulator("--fault", "cut:prob=0.5", "--seed", str(seed), "--quiet") as sim:
                fd_dir = "/proc/%d/fd" % sim.process.pid
                baseline = len(os.listdir(fd_dir))
                for _ in range(connections):
                    with connect(sim.port) as s:
                        s.sendall(mbap(1, 1, READ))
                        lengths.append(len(recv_exactly(s, REPLY, timeout=2)))
                deadline = time.monotonic() + 5
                while len(os.listdir(fd_dir)) != baseline and time.monotonic() < deadline:
                    time.sleep(0.05)
                self.assertEqual(len(os.listdir(fd_dir)), baseline, "no descriptor left behind")
            return lengths

        first = cuts(3, 100)
        self.assertGreater(first.count(REPLY), 20)
        self.assertGreater(len(set(first)), 4, "cut at many points: %s" % first)
        self.assertEqual(first, cuts(3, 100))
        self.assertNotEqual(first, cuts(4, 100))

    def test_rtu_faults_on_a_line(self):
        with PtyPair() as pair, Simulator("--fault", "bad-crc:addr=77", "--fault",
                                          "split=400:addr=78", "--fault", "truncate=5:addr=79",
                                          serial=pair.slave_end):
            line = RawLine(pair.master_end)
            reply = line.exchange(rtu(bytes([1, 3, 0, 77, 0, 1])))
            self.assertEqual(len(reply), 7)
            self.assertNotEqual(crc16(reply), 0, reply.hex(" "))
            self.assertEqual(len(line.exchange(rtu(bytes([1, 3, 0, 78, 0, 1])))), 3,
                             "split: address, function, byte count first")
            self.assertEqual(len(line.exchange(b"")), 4)
            self.assertEqual(line.exchange(rtu(bytes([1, 3, 0, 79, 0, 2]))),
                             rtu(bytes([1, 3, 4, 0, 0, 0, 0]))[:5], "truncate: 5 of 9 bytes")
            self.assertEqual(len(line.exchange(rtu(bytes([1, 3, 0, 80, 0, 2])))), 9)
            os.close(line.fd)


class CommandLine(unittest.TestCase):
    def test_bad_input_gives_a_message_and_status_2(self):
        for args, message in [
            (["--bogus"], "unknown option"),
            (["--port", "70000"], "--port needs a number from 0 to 65535"),
            (["--set", "hr:100"], "needs TABLE:ADDRESS=VALUE"),
            (["--set", "hr:1=70000"], "not a 16-bit value"),
            (["--set", "hr:65535:f32=1"], "does not fit"),
            (["--fault", "explode"], "unknown fault action"),
            (["--fault", "drop:req=5-2"], "needs N or N-M"),
            (["--serial", "/dev/null", "--baud", "12345"], "unsupported baud rate"),
        ]:
            status, out, err = run(SIM, *args)
            self.assertEqual((status, out), (2, ""), args)
            self.assertIn(message, err, args)

    def test_a_link_that_cannot_be_set_up_gives_status_1(self):
        status, _, err = run(SIM, "--serial", "/nonexistent/tty")
        self.assertEqual(status, 1)
        self.assertIn("/nonexistent/tty", err)
        with socket.socket() as taken:
            taken.bind(("127.0.0.1", 0))
            taken.listen(1)
            status, _, err = run(SIM, "--port", str(taken.getsockname()[1]))
        self.assertEqual(status, 1)
        self.assertIn("cannot bind", err)

    def test_sigint_stops_at_once_writes_the_dump_and_releases_the_port(self):
        with Simulator("--set", "double:3=-0.5", "--set", "hr:2=3") as sim:
            transact(sim.port, bytes([6, 0, 4, 0, 5]))
            began = time.monotonic()
            self.assertEqual(sim.stop(signal.SIGINT), 0)
            self.assertLess(time.monotonic() - began, 1.5)
            with open(sim.dump_path) as f:
                self.assertEqual(json.load(f), {"coil": {}, "di": {}, "hr": {"2": 3, "4": 5},
                                                "ir": {}, "float": {}, "double": {"3": -0.5}})
            self.assertRaises(ConnectionRefusedError, connect, sim.port)


if __name__ == "__main__":
    unittest.main(verbosity=2)
