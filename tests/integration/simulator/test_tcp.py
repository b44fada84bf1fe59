"""The simulator over Modbus TCP against pymodbus's client and raw frames."""

import logging
import struct
import time
import unittest

from pymodbus.client import ModbusTcpClient

from simtest import Simulator, connect, mbap, recv_mbap, transact

logging.getLogger("pymodbus").setLevel(logging.CRITICAL)


class StandardFunctionsWithPymodbus(unittest.TestCase):
    """Reads and writes of functions 1-6, 15 and 16 by a client nobody here wrote."""

    def setUp(self):
        self.sim = Simulator(
            "--set", "coil:0-9=1,0,1,1,0,0,0,0,1,0", "--set", "di:100-102=0,1,1",
            "--set", "hr:0-2=1234,5,65535", "--set", "ir:7=42", "--set", "hr:65535=9")
        self.client = ModbusTcpClient("127.0.0.1", port=self.sim.port, timeout=2)
        self.assertTrue(self.client.connect())

    def tearDown(self):
        self.client.close()
        self.sim.__exit__()

    def test_reads_every_table_as_set_on_the_command_line(self):
        coils = self.client.read_coils(0, 10, slave=1)
        self.assertEqual(coils.bits[:10], [True, False, True, True, False, False, False, False,
                                           True, False])
        inputs = self.client.read_discrete_inputs(100, 3, slave=1)
        self.assertEqual(inputs.bits[:3], [False, True, True])
        holding = self.client.read_holding_registers(0, 3, slave=1)
        self.assertEqual(holding.registers, [1234, 5, 65535])
        registers = self.client.read_input_registers(6, 2, slave=1)
        self.assertEqual(registers.registers, [0, 42])
        last = self.client.read_holding_registers(65535, 1, slave=1)
        self.assertEqual(last.registers, [9], "the last address is readable")

    def test_writes_land_in_the_bank_and_are_reported(self):
        self.assertFalse(self.client.write_coil(20, True, slave=1).isError())
        self.assertFalse(self.client.write_register(30, 4321, slave=1).isError())
        self.assertFalse(self.client.write_coils(40, [True, False, True, True, False, True, False,
                                                      True, True], slave=1).isError())
        self.assertFalse(self.client.write_registers(50, [1, 2, 65535], slave=1).isError())
        self.assertEqual(self.client.read_coils(40, 9, slave=1).bits[:9],
                         [True, False, True, True, False, True, False, True, True])
        self.assertEqual(self.client.read_holding_registers(50, 3, slave=1).registers,
                         [1, 2, 65535])
        lines = self.sim.write_lines(2 + 9 + 3)
        self.assertEqual(lines[:2], ["write coil 20 1", "write hr 30 4321"])
        self.assertEqual(lines[2:4], ["write coil 40 1", "write coil 41 0"])
        self.assertEqual(lines[-1], "write hr 52 65535")
        dump = self.sim.dump()
        self.assertEqual(dump["hr"]["30"], 4321)
        self.assertEqual(dump["coil"]["48"], 1)
        self.assertNotIn("41", dump["coil"], "a zero is not in the dump")

    def test_answers_out_of_limit_requests_with_the_standard_exceptions(self):
        cases = [
            (self.client.read_coils, (0, 2001), 3),          # 1..2000 coils
            (self.client.read_discrete_inputs, (65535, 2), 2),  # past the last address
            (self.client.read_holding_registers, (0, 126), 3),  # 1..125 registers
            (self.client.read_input_registers, (65500, 100), 2),
            (self.client.write_registers, (0, [0] * 124), 3),  # 1..123 registers
            (self.client.write_coils, (0, [False] * 1969), 3),  # 1..1968 coils
        ]
        for call, args, code in cases:
            reply = call(*args, slave=1)
            self.assertTrue(reply.isError(), "%s%r" % (call.__name__, args))
            self.assertEqual(reply.exception_code, code, "%s%r" % (call.__name__, args))


class FramesOnTheWire(unittest.TestCase):
    """Exact bytes: the extension functions and the corners no client library sends."""

    @classmethod
    def setUpClass(cls):
        cls.sim = Simulator("--set", "float:300-301=1.5,-2", "--set", "double:7=0.1",
                            "--set", "hr:10:f32cdab=1.5", "--set", "hr:20:u32=305419896",
                            "--set", "hr:30-33:ascii=PUMP-7", "--set", "ir:0:f64=-1",
                            "--unit", "9")

    @classmethod
    def tearDownClass(cls):
        cls.sim.__exit__()

    def test_reads_floats_with_a_four_byte_start_and_an_item_count(self):
        reply = transact(self.sim.port, bytes([65, 0, 0, 0x01, 0x2C, 2]), unit=9)
        self.assertEqual(reply.hex(" "), "41 02 3f c0 00 00 c0 00 00 00",
                         "function, item count 2, 1.5 and -2.0 most significant byte first")

    def test_reads_doubles(self):
        reply = transact(self.sim.port, bytes([67, 0, 0, 0, 7, 1]), unit=9)
        self.assertEqual(reply[:2], bytes([67, 1]))
        self.assertEqual(struct.unpack(">d", reply[2:])[0], 0.1)

    def test_writes_floats_and_doubles_without_a_byte_count_and_echoes_the_count(self):
        pdu = bytes([66, 0, 0, 0, 2, 2]) + struct.pack(">ff", 1.0, -2.0)
        self.assertEqual(transact(self.sim.port, pdu, unit=9).hex(" "), "42 02")
        pdu = bytes([68, 0, 0, 0x12, 0x34, 1]) + struct.pack(">d", 6.25)
        self.assertEqual(transact(self.sim.port, pdu, unit=9).hex(" "), "44 01")
        dump = self.sim.dump()
        self.assertEqual(dump["float"]["2"], 1.0)
        self.assertEqual(dump["float"]["3"], -2.0)
        self.assertEqual(dump["double"][str(0x1234)], 6.25)

    def test_rejects_extension_requests_that_do_not_fit(self):
        cases = [
            (bytes([65, 0, 1, 0, 0, 1]), "c1 02", "start above 65535"),
            (bytes([65, 0, 0, 0xFF, 0xFF, 2]), "c1 02", "runs past the last address"),
            (bytes([65, 0, 0, 0, 0, 0]), "c1 03", "no items"),
            (bytes([65, 0, 0, 0, 0, 63]), "c1 03", "63 floats do not fit a reply"),
            (bytes([67, 0, 0, 0, 0, 32]), "c3 03", "32 doubles do not fit a reply"),
            (bytes([66, 0, 0, 0, 0, 2]) + bytes(4), "c2 03", "data shorter than the count"),
            (bytes([68, 0, 0, 0, 0, 1]) + bytes(9), "c4 03", "data longer than the count"),
        ]
        for pdu, expected, why in cases:
            self.assertEqual(transact(self.sim.port, pdu, unit=9).hex(" "), expected, why)

    def test_answers_unknown_functions_and_malformed_standard_requests(self):
        cases = [
            (bytes([7]), "87 01", "function 7 is not served"),
            (bytes([0x2B, 0x0E, 1, 0]), "ab 01", "nor is device identification"),
            (bytes([5, 0, 1, 0x12, 0x34]), "85 03", "a coil is FF 00 or 00 00"),
            (bytes([3, 0, 0, 0]), "83 03", "count missing"),
            (bytes([16, 0, 0, 0, 2, 3, 0, 1, 0]), "90 03", "byte count is not 2 x count"),
            (bytes([15, 0, 0, 0, 9, 1, 0xFF]), "8f 03", "9 coils need 2 bytes"),
            (bytes([6, 0, 1, 0, 0, 0, 0]), "86 03", "a register is 2 bytes"),
        ]
        for pdu, expected, why in cases:
            self.assertEqual(transact(self.sim.port, pdu, unit=9).hex(" "), expected, why)

    def test_holds_typed_register_values_from_the_command_line(self):
        reply = transact(self.sim.port, bytes([3, 0, 10, 0, 2]), unit=9)
        self.assertEqual(reply[2:].hex(" "), "00 00 3f c0", "f32cdab: low word first")
        reply = transact(self.sim.port, bytes([3, 0, 20, 0, 2]), unit=9)
        self.assertEqual(reply[2:].hex(" "), "12 34 56 78")
        reply = transact(self.sim.port, bytes([3, 0, 30, 0, 4]), unit=9)
        self.assertEqual(reply[2:], b"PUMP-7\0\0", "ascii is zero padded to the range end")
        reply = transact(self.sim.port, bytes([4, 0, 0, 0, 4]), unit=9)
        self.assertEqual(struct.unpack(">d", reply[2:])[0], -1.0)

    def test_answers_its_unit_and_the_tcp_wildcards_only(self):
        for unit in (9, 0, 255):
            self.assertEqual(transact(self.sim.port, bytes([3, 0, 0, 0, 1]), unit=unit)[0], 3)
        with connect(self.sim.port, timeout=0.3) as s:
            s.sendall(mbap(5, 8, bytes([3, 0, 0, 0, 1])))
            with self.assertRaises(OSError, msg="unit 8 is not this slave"):
                recv_mbap(s, timeout=0.3)

    def test_serves_pipelined_requests_in_order(self):
        with connect(self.sim.port) as s:
            s.sendall(b"".join(mbap(t, 9, bytes([3, 0, 20, 0, 1])) for t in range(100, 110)))
            tids = [struct.unpack(">H", recv_mbap(s)[:2])[0] for _ in range(10)]
        self.assertEqual(tids, list(range(100, 110)))

    def test_closes_a_stream_whose_protocol_id_is_not_zero(self):
        with connect(self.sim.port) as s:
            s.sendall(bytes([0, 1, 0, 1, 0, 6, 9, 3, 0, 0, 0, 1]))
            s.settimeout(5)
            self.assertEqual(s.recv(100), b"", "the slave closes the connection")


class ItemCountOption(unittest.TestCase):
    def test_item_count_byte_can_carry_the_number_of_data_bytes(self):
        with Simulator("--item-count", "bytes", "--set", "double:0-2=1") as sim:
            reply = transact(sim.port, bytes([67, 0, 0, 0, 0, 3]))
        self.assertEqual(reply[:2], bytes([67, 24]))
        self.assertEqual(len(reply), 2 + 24)


class Animation(unittest.TestCase):
    def test_animate_changes_the_chosen_values_every_period(self):
        with Simulator("--animate", "50", "--animate-only", "hr:5-6", "--animate-only", "coil:0-3",
                       "--set", "hr:5=100") as sim:
            time.sleep(0.5)
            first = transact(sim.port, bytes([3, 0, 5, 0, 3]))
            coils = transact(sim.port, bytes([1, 0, 0, 0, 4]))
            time.sleep(0.3)
            second = transact(sim.port, bytes([3, 0, 5, 0, 3]))
        a, b, c = struct.unpack(">HHH", first[2:])
        self.assertGreater(a, 100 + 3, "counts up from its set value")
        self.assertEqual(a - 100, b, "both registers count the same ticks")
        self.assertEqual(c, 0, "hr 7 is not animated")
        self.assertEqual(bin(coils[2]).count("1"), 1, "one walking bit: %s" % coils.hex(" "))
        self.assertGreater(struct.unpack(">H", second[2:4])[0], a)


if __name__ == "__main__":
    unittest.main()
