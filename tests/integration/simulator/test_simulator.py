"""The slave simulator against clients nobody here wrote (pymodbus and
libmodbus) over TCP and socat pty pairs, its frames and every fault family as
bytes on the wire, and its command line."""
import ctypes
import json
import logging
import os
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
from peers import SIM, PtyPair, Simulator, connect, crc16, mbap, recv_exactly, recv_mbap, rtu, transact

logging.getLogger("pymodbus").setLevel(logging.CRITICAL)
READ = bytes([3, 0, 0, 0, 2])  # two holding registers from address 0
REPLY = 7 + 2 + 4
SETUP = ["--set", "hr:0-3=10,20,30,40", "--set", "coil:0-3=1,0,0,1", "--set", "di:8-9=1,1"]


def run(*argv):
    done = subprocess.run(argv, capture_output=True, text=True, timeout=20)
    return done.returncode, done.stdout, done.stderr


def tid_of(frame: bytes) -> int:
    return struct.unpack(">H", frame[:2])[0]


def silent(s: socket.socket, wait: float = 0.3) -> bool:
    """True when nothing arrives (and the peer does not close) within `wait`."""
    s.settimeout(wait)
    try:
        s.recv(100)
    except socket.timeout:
        return True
    return False


def raw_line(device: str) -> int:
    """The master's end of a pty pair, read and written byte for byte."""
    fd = os.open(device, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(fd)
    return fd


def line_exchange(fd: int, frame: bytes, first: float = 2.0) -> bytes:
    """Sends a frame on a raw pty end; the bytes until the line is quiet 150 ms."""
    os.write(fd, frame)
    data = b""
    while len(data) < 1000 and select.select([fd], [], [], 0.15 if data else first)[0]:
        data += os.read(fd, 512)
    return data


class Clients(unittest.TestCase):
    """One run per client and link: reads, writes the simulator holds, an exception."""

    def on_each_link(self, check, *serial_options):
        with Simulator(*SETUP) as sim:
            check(sim, None)
        with PtyPair() as pair, Simulator(*SETUP, *serial_options, serial=pair.slave_end) as sim:
            check(sim, pair.master_end)

    def test_pymodbus(self):
        def check(sim, device):
            client = (ModbusSerialClient(port=device, framer=ModbusRtuFramer, baudrate=115200,
                                         timeout=2) if device else
                      ModbusTcpClient("127.0.0.1", port=sim.port, timeout=2))
            self.assertTrue(client.connect())
            try:
                self.assertEqual(client.read_coils(0, 4, slave=1).bits[:4], [1, 0, 0, 1])
                self.assertEqual(client.read_discrete_inputs(8, 2, slave=1).bits[:2], [1, 1])
                self.assertFalse(client.write_coils(40, [True, False, True], slave=1).isError())
                self.assertFalse(client.write_register(30, 4321, slave=1).isError())
                self.assertEqual(client.read_coils(40, 3, slave=1).bits[:3], [1, 0, 1])
                self.assertEqual(client.read_holding_registers(0, 126, slave=1).exception_code, 3)
            finally:
                client.close()
            self.assertEqual(sim.write_lines(4), ["write coil 40 1", "write coil 41 0",
                                                  "write coil 42 1", "write hr 30 4321"])
            dump = sim.dump()
            self.assertEqual((dump["hr"]["30"], dump["coil"]["42"]), (4321, 1))
            self.assertNotIn("41", dump["coil"], "a zero is not in the dump")
        self.on_each_link(check, "--baud", "115200")

    def test_libmodbus(self):
        lib = libmodbus()

        def check(sim, device):
            ctx = ctypes.c_void_p(lib.modbus_new_rtu(device.encode(), 19200, ctypes.c_char(b"E"), 8, 1)
                                  if device else lib.modbus_new_tcp(b"127.0.0.1", sim.port))
            registers = (ctypes.c_uint16 * 8)()
            lib.modbus_set_slave(ctx, 3 if device else 1)
            self.assertEqual(lib.modbus_connect(ctx), 0)
            try:
                self.assertEqual(lib.modbus_read_registers(ctx, 0, 4, registers), 4)
                self.assertEqual(registers[:4], [10, 20, 30, 40])
                self.assertEqual(lib.modbus_write_bits(ctx, 16, 3, (ctypes.c_uint8 * 3)(1, 0, 1)), 3)
                self.assertEqual(lib.modbus_write_registers(ctx, 20, 2, (ctypes.c_uint16 * 2)(5, 6)), 2)
                self.assertEqual(lib.modbus_read_registers(ctx, 65530, 7, registers), -1)
                self.assertIn(b"Illegal data address", lib.modbus_strerror(ctypes.get_errno()))
            finally:
                lib.modbus_close(ctx)
                lib.modbus_free(ctx)
            dump = sim.dump()
            self.assertEqual((dump["hr"]["20"], dump["hr"]["21"], dump["coil"]["18"]), (5, 6, 1))
        self.on_each_link(check, "--baud", "19200", "--parity", "even", "--unit", "3")


class Frames(unittest.TestCase):
    """Exact bytes: the float functions and the corners no client library sends."""

    def test_float_functions_count_items_and_take_no_byte_count(self):
        with Simulator("--set", "float:300-301=1.5,-2", "--set", "double:7=0.1") as sim:
            self.assertEqual(transact(sim.port, bytes([65, 0, 0, 0x01, 0x2C, 2])).hex(" "),
                             "41 02 3f c0 00 00 c0 00 00 00", "item count 2, 1.5 and -2.0")
            self.assertEqual(transact(sim.port, bytes([67, 0, 0, 0, 7, 1])),
                             bytes([67, 1]) + struct.pack(">d", 0.1))
            pdu = bytes([66, 0, 0, 0, 2, 2]) + struct.pack(">ff", 1.0, -2.0)
            self.assertEqual(transact(sim.port, pdu).hex(" "), "42 02")
            pdu = bytes([68, 0, 0, 0x12, 0x34, 1]) + struct.pack(">d", 6.25)
            self.assertEqual(transact(sim.port, pdu).hex(" "), "44 01")
            dump = sim.dump()
            self.assertEqual((dump["float"]["2"], dump["float"]["3"]), (1.0, -2.0))
            self.assertEqual(dump["double"][str(0x1234)], 6.25)

    def test_requests_that_do_not_fit_get_the_standard_exceptions(self):
        with Simulator() as sim:
            for pdu, expected, why in [
                (bytes([65, 0, 1, 0, 0, 1]), "c1 02", "start above 65535"),
                (bytes([66, 0, 0, 0, 0, 2]) + bytes(4), "c2 03", "data shorter than the count"),
                (bytes([7]), "87 01", "function 7 is not served"),
                (bytes([16, 0, 0, 0, 2, 3, 0, 1, 0]), "90 03", "byte count is not 2 x count"),
            ]:
                self.assertEqual(transact(sim.port, pdu).hex(" "), expected, why)
            for unit in (1, 0, 255):
                self.assertEqual(transact(sim.port, READ, unit)[0], 3, f"unit {unit} is answered")
            with connect(sim.port) as s:
                s.sendall(mbap(5, 8, READ))
                self.assertTrue(silent(s), "unit 8 is not this slave")

    def test_rtu_frames_and_faults_on_a_line_and_each_framing_on_the_other_link(self):
        with PtyPair() as pair, Simulator(
                "--unit", "5", "--set", "hr:0=4660", "--fault", "bad-crc:addr=77", "--fault",
                "split=400:addr=78", "--fault", "truncate=5:addr=79", serial=pair.slave_end):
            fd = raw_line(pair.master_end)
            ask = lambda *pdu, first=2.0: line_exchange(fd, rtu(bytes(pdu)), first)
            self.assertEqual(ask(5, 3, 0, 0, 0, 1), rtu(bytes([5, 3, 2, 0x12, 0x34])))
            self.assertEqual(ask(6, 3, 0, 0, 0, 1, first=0.4), b"", "slave 6 is someone else")
            self.assertEqual(line_exchange(fd, rtu(bytes([5, 3, 0, 0, 0, 1]))[:-1] + b"\0", 0.4),
                             b"", "a corrupt frame is not answered")
            self.assertEqual(ask(0, 6, 0, 40, 0, 99, first=0.4), b"", "a broadcast is not answered")
            self.assertEqual(ask(5, 3, 0, 40, 0, 1)[3:5], b"\x00\x63", "but carried out")
            reply = ask(5, 3, 0, 77, 0, 1)
            self.assertEqual((len(reply), crc16(reply) != 0), (7, True), "bad-crc")
            self.assertEqual(len(ask(5, 3, 0, 78, 0, 1)), 3, "split: address, function, count")
            self.assertEqual(len(line_exchange(fd, b"")), 4)
            self.assertEqual(ask(5, 3, 0, 79, 0, 2), rtu(bytes([5, 3, 4, 0, 0, 0, 0]))[:5],
                             "truncate: 5 of 9 bytes")
            os.close(fd)
        with PtyPair() as pair, Simulator("--framing", "tcp", "--set", "ir:1=5",
                                          serial=pair.slave_end):
            fd = raw_line(pair.master_end)
            self.assertEqual(line_exchange(fd, mbap(0xBEEF, 1, bytes([4, 0, 1, 0, 1]))).hex(" "),
                             "be ef 00 00 00 05 01 04 02 00 05")
            os.close(fd)
        with Simulator("--framing", "rtu", "--set", "coil:0-2=1,0,1") as sim, connect(sim.port) as s:
            s.sendall(rtu(bytes([1, 1, 0, 0, 0, 3])))
            self.assertEqual(recv_exactly(s, 6), rtu(bytes([1, 1, 1, 0b101])))


class Faults(unittest.TestCase):
    """Each fault family over TCP as it appears on the wire."""

    def test_reply_faults_chosen_by_request_number(self):
        faults = ["bad-tid:req=1", "bad-unit:req=2", "exception=6:req=3", "drop:req=4",
                  "twice:req=5", "noise=3:req=6", "pair:req=7", "garbage=5:req=9"]
        with Simulator(*[a for f in faults for a in ("--fault", f)], "--quiet") as sim, \
                connect(sim.port) as s:
            ask = lambda tid, pdu=READ: s.sendall(mbap(tid, 1, pdu))
            ask(0x1234)
            self.assertEqual(tid_of(recv_mbap(s)), 0x1235, "bad-tid")
            ask(2)
            self.assertEqual(recv_mbap(s)[6], 2, "bad-unit")
            ask(3)
            self.assertEqual(recv_mbap(s)[7:].hex(" "), "83 06", "exception")
            ask(4, bytes([6, 0, 9, 0, 7]))
            self.assertTrue(silent(s), "drop")
            ask(5, bytes([3, 0, 9, 0, 1]))
            twice = recv_exactly(s, 2 * 11)
            self.assertEqual((twice[:11], twice[9:11]), (twice[11:], b"\x00\x07"),
                             "twice, and the dropped write was carried out")
            ask(6)
            self.assertEqual(tid_of(recv_exactly(s, 3 + REPLY)[3:]), 6, "noise")
            ask(7)
            self.assertTrue(silent(s), "pair holds the reply back")
            ask(8)
            both = recv_exactly(s, 2 * REPLY)
            self.assertEqual((tid_of(both), tid_of(both[REPLY:])), (7, 8), "pair")
            ask(9)
            self.assertEqual(len(recv_exactly(s, 5)), 5)
            self.assertTrue(silent(s, 0.2), "garbage: exactly 5 bytes")

    def test_a_wrong_function_code_and_a_padded_frame_are_framed_soundly(self):
        with Simulator("--set", "hr:0=4660", "--fault", "bad-fc:req=1", "--fault", "pad=3:req=2",
                       "--quiet") as sim, connect(sim.port) as s:
            s.sendall(mbap(1, 1, bytes([3, 0, 0, 0, 1])))
            self.assertEqual(recv_mbap(s)[7:].hex(" "), "04 02 12 34", "bad-fc: 3 answers as 4")
            s.sendall(mbap(2, 1, bytes([3, 0, 0, 0, 1])))
            padded = recv_mbap(s)
            self.assertEqual((padded[4:6].hex(" "), padded[7:].hex(" ")),
                             ("00 08", "03 02 12 34 00 00 00"),
                             "pad: three zero bytes after the data, counted by the MBAP length")

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
            for replies, what in ((2, "closed after the second reply"), (0, "refused"),
                                  (0, "closed instead of answering")):
                with connect(sim.port) as s:
                    try:
                        for tid in range(1, replies + 2):
                            s.sendall(mbap(tid, 1, READ))
                            self.assertEqual(len(recv_mbap(s)), REPLY if tid <= replies else 0, what)
                    except (BrokenPipeError, ConnectionResetError):
                        pass
        with Simulator("--no-listen") as sim:
            self.assertTrue(sim.first_line.startswith("refusing on"), sim.first_line)
            self.assertRaises(ConnectionRefusedError, connect, sim.port)

    def test_random_cuts_repeat_with_the_seed_and_leave_no_descriptor_behind(self):
        def cuts(seed):
            with Simulator("--fault", "cut:prob=0.5", "--seed", str(seed), "--quiet") as sim:
                fds = lambda: len(os.listdir(f"/proc/{sim.process.pid}/fd"))
                baseline, lengths = fds(), []
                for _ in range(100):
                    with connect(sim.port) as s:
                        s.sendall(mbap(1, 1, READ))
                        lengths.append(len(recv_exactly(s, REPLY, timeout=2)))
                deadline = time.monotonic() + 5
                while fds() != baseline and time.monotonic() < deadline:
                    time.sleep(0.05)
                self.assertEqual(fds(), baseline, "no descriptor left behind")
            return lengths

        first = cuts(3)
        self.assertGreater(first.count(REPLY), 20)
        self.assertGreater(len(set(first)), 4, f"cut at many points: {first}")
        self.assertEqual(first, cuts(3))
        self.assertNotEqual(first, cuts(4))


class CommandLine(unittest.TestCase):
    def test_bad_input_gives_a_message_and_status_2(self):
        for args, message in [
            (["--bogus"], "unknown option"),
            (["--port", "70000"], "--port needs a number from 0 to 65535"),
            (["--set", "hr:100"], "needs TABLE:ADDRESS=VALUE"),
            (["--set", "hr:65535:f32=1"], "does not fit"),
            (["--fault", "explode"], "unknown fault action"),
            (["--fault", "drop:req=5-2"], "needs N or N-M"),
            (["--serial", "/dev/null", "--baud", "12345"], "unsupported baud rate"),
        ]:
            status, out, err = run(SIM, *args)
            self.assertEqual((status, out), (2, ""), args)
            self.assertIn(message, err, args)

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
