"""The simulator on a serial line (a socat pty pair) and RTU framing over TCP."""

import logging
import os
import select
import struct
import tempfile
import time
import tty
import unittest

from pymodbus.client import ModbusSerialClient
from pymodbus.framer.rtu_framer import ModbusRtuFramer

from simtest import PtyPair, Simulator, connect, crc16, mbap, recv_mbap, rtu

logging.getLogger("pymodbus").setLevel(logging.CRITICAL)


class RawLine:
    """The master's end of the pty pair, read and written byte for byte."""

    def __init__(self, device):
        self.fd = os.open(device, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.fd)

    def close(self):
        os.close(self.fd)

    def send(self, data: bytes):
        os.write(self.fd, data)

    def receive(self, quiet: float = 0.15, first: float = 2.0) -> bytes:
        """Bytes until the line has been quiet for `quiet` seconds."""
        data = b""
        deadline = time.monotonic() + first
        while True:
            wait = first if not data else quiet
            ready, _, _ = select.select([self.fd], [], [], wait)
            if not ready or time.monotonic() > deadline + 5:
                return data
            data += os.read(self.fd, 512)


class WithPymodbusSerialClient(unittest.TestCase):
    def exchange_at(self, baud):
        with PtyPair() as pair, Simulator("--baud", str(baud), "--unit", "17",
                                          "--set", "hr:100-102=7,8,9", "--set", "di:3=1",
                                          serial=pair.slave_end) as sim:
            client = ModbusSerialClient(port=pair.master_end, framer=ModbusRtuFramer,
                                        baudrate=baud, timeout=2)
            self.assertTrue(client.connect())
            try:
                self.assertEqual(client.read_holding_registers(100, 3, slave=17).registers,
                                 [7, 8, 9])
                self.assertEqual(client.read_discrete_inputs(0, 4, slave=17).bits[:4],
                                 [False, False, False, True])
                self.assertEqual(client.read_input_registers(0, 2, slave=17).registers, [0, 0])
                self.assertFalse(client.write_coil(9, True, slave=17).isError())
                self.assertFalse(client.write_register(200, 513, slave=17).isError())
                self.assertFalse(client.write_coils(10, [True, True, False], slave=17).isError())
                self.assertFalse(client.write_registers(300, [1, 2], slave=17).isError())
                self.assertEqual(client.read_coils(9, 4, slave=17).bits[:4],
                                 [True, True, True, False])
                reply = client.read_holding_registers(0, 200, slave=17)
                self.assertEqual(reply.exception_code, 3)
            finally:
                client.close()
            dump = sim.dump()
        self.assertEqual(dump["hr"]["200"], 513)
        self.assertEqual((dump["hr"]["300"], dump["hr"]["301"]), (1, 2))

    def test_reads_and_writes_at_9600_baud(self):
        self.exchange_at(9600)

    def test_reads_and_writes_at_115200_baud(self):
        self.exchange_at(115200)


class RtuFramesOnALine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pair = PtyPair()
        cls.sim = Simulator("--unit", "5", "--set", "hr:0=4660", "--set", "float:10=2.5",
                            "--fault", "bad-crc:addr=77", "--fault", "split=400:addr=78", "--fault", "truncate=5:addr=79",
                            serial=cls.pair.slave_end)
        cls.line = RawLine(cls.pair.master_end)

    @classmethod
    def tearDownClass(cls):
        cls.line.close()
        cls.sim.__exit__()
        cls.pair.__exit__()

    def test_answers_its_address_with_a_correct_crc(self):
        self.line.send(rtu(bytes([5, 3, 0, 0, 0, 1])))
        reply = self.line.receive()
        self.assertEqual(reply, rtu(bytes([5, 3, 2, 0x12, 0x34])), reply.hex(" "))
        self.assertEqual(crc16(reply), 0)

    def test_ignores_other_addresses_and_frames_with_a_bad_crc(self):
        self.line.send(rtu(bytes([6, 3, 0, 0, 0, 1])))
        self.assertEqual(self.line.receive(first=0.4), b"", "slave 6 is someone else")
        self.line.send(rtu(bytes([5, 3, 0, 0, 0, 1]))[:-1] + b"\x00")
        self.assertEqual(self.line.receive(first=0.4), b"", "a corrupt frame is not answered")
        self.line.send(rtu(bytes([5, 3, 0, 0, 0, 1])))
        self.assertEqual(len(self.line.receive()), 7, "and the next good frame is")

    def test_carries_out_a_broadcast_write_without_answering(self):
        self.line.send(rtu(bytes([0, 6, 0, 40, 0, 99])))
        self.assertEqual(self.line.receive(first=0.4), b"")
        self.line.send(rtu(bytes([5, 3, 0, 40, 0, 1])))
        self.assertEqual(self.line.receive()[3:5], b"\x00\x63")

    def test_ends_requests_of_unknown_length_at_the_silence(self):
        self.line.send(rtu(bytes([5, 0x11])))  # report slave id: not served
        self.assertEqual(self.line.receive(), rtu(bytes([5, 0x91, 1])))
        # Function 6 with a 4-byte value: longer than the standard request.
        self.line.send(rtu(bytes([5, 6, 0, 1, 0x3F, 0xC0, 0, 0])))
        self.assertEqual(self.line.receive(), rtu(bytes([5, 0x86, 3])))

    def test_serves_the_float_functions(self):
        self.line.send(rtu(bytes([5, 65, 0, 0, 0, 10, 1])))
        self.assertEqual(self.line.receive(), rtu(bytes([5, 65, 1]) + struct.pack(">f", 2.5)))
        self.line.send(rtu(bytes([5, 68, 0, 0, 0, 3, 2]) + struct.pack(">dd", 1.5, -3)))
        self.assertEqual(self.line.receive(), rtu(bytes([5, 68, 2])))

    def test_bad_crc_and_split_faults(self):
        self.line.send(rtu(bytes([5, 3, 0, 77, 0, 1])))
        reply = self.line.receive()
        self.assertEqual(len(reply), 7)
        self.assertNotEqual(crc16(reply), 0, reply.hex(" "))
        self.line.send(rtu(bytes([5, 3, 0, 78, 0, 1])))
        head = self.line.receive(quiet=0.15)
        tail = self.line.receive(quiet=0.15)
        self.assertEqual((len(head), len(tail)), (3, 4), "address, function, byte count first")

    def test_truncate_sends_part_of_the_reply_and_the_line_goes_on(self):
        self.line.send(rtu(bytes([5, 3, 0, 79, 0, 2])))
        self.assertEqual(self.line.receive(), rtu(bytes([5, 3, 4, 0, 0, 0, 0]))[:5], "5 of 9 bytes")
        self.line.send(rtu(bytes([5, 3, 0, 80, 0, 2])))
        self.assertEqual(len(self.line.receive()), 9)


class OtherFramingOnEachLink(unittest.TestCase):
    def test_mbap_framing_on_a_serial_line(self):
        with PtyPair() as pair, Simulator("--framing", "tcp", "--set", "ir:1=5",
                                          serial=pair.slave_end):
            line = RawLine(pair.master_end)
            try:
                line.send(mbap(0xBEEF, 1, bytes([4, 0, 1, 0, 1])))
                self.assertEqual(line.receive().hex(" "), "be ef 00 00 00 05 01 04 02 00 05")
            finally:
                line.close()

    def test_rtu_framing_over_tcp(self):
        with Simulator("--framing", "rtu", "--set", "coil:0-2=1,0,1") as sim, \
                connect(sim.port) as s:
            s.sendall(rtu(bytes([1, 1, 0, 0, 0, 3])))
            s.settimeout(2)
            self.assertEqual(s.recv(100), rtu(bytes([1, 1, 1, 0b101])))
            # An MBAP request is no RTU frame: the silence discards it.
            s.sendall(mbap(1, 1, bytes([1, 0, 0, 0, 3])))
            time.sleep(0.2)
            s.sendall(rtu(bytes([1, 1, 0, 0, 0, 1])))
            self.assertEqual(s.recv(100), rtu(bytes([1, 1, 1, 1])))

    def test_waits_without_spinning_for_a_device_that_went_away_and_reopens_it(self):
        # The simulator opens a link name; the test points it at a new pty pair.
        link = os.path.join(tempfile.mkdtemp(prefix="slavesim-"), "ttyTEST")
        pair = PtyPair()
        os.symlink(pair.slave_end, link)
        try:
            with Simulator("--set", "hr:0=321", serial=link) as sim:
                pair.__exit__()  # the device goes away under the simulator
                time.sleep(1.0)
                self.assertIsNone(sim.process.poll(), "keeps running while the device is gone")
                self.assertLess(sim.cpu_seconds(), 0.5, "waits for the device without spinning")
                pair = PtyPair()
                os.unlink(link)
                os.symlink(pair.slave_end, link)
                line = RawLine(pair.master_end)
                try:
                    reply = b""
                    deadline = time.monotonic() + 5
                    while not reply and time.monotonic() < deadline:
                        line.send(rtu(bytes([1, 3, 0, 0, 0, 1])))
                        reply = line.receive(first=0.3)
                    self.assertEqual(reply, rtu(bytes([1, 3, 2, 0x01, 0x41])))
                finally:
                    line.close()
            self.assertEqual(sim.process.returncode, 0)
        finally:
            pair.__exit__()
            os.unlink(link)
            os.rmdir(os.path.dirname(link))

if __name__ == "__main__":
    unittest.main()
