"""Scripted faults over Modbus TCP, seen on the wire and by pymodbus's client."""

import logging
import os
import socket
import struct
import time
import unittest

from pymodbus.client import ModbusTcpClient

from simtest import Simulator, connect, mbap, recv_exactly, recv_mbap

logging.getLogger("pymodbus").setLevel(logging.CRITICAL)

READ = bytes([3, 0, 0, 0, 2])  # two holding registers from address 0
READ_REPLY_LENGTH = 7 + 1 + 1 + 4


def read_at(address: int) -> bytes:
    return bytes([3]) + struct.pack(">HH", address, 1)


def tid_of(frame: bytes) -> int:
    return struct.unpack(">H", frame[:2])[0]


def no_reply(s: socket.socket, wait: float = 0.3) -> bool:
    """True when nothing arrives (and the peer does not close) within `wait`."""
    s.settimeout(wait)
    try:
        s.recv(100)
        return False
    except socket.timeout:
        return True


class TimingAndLoss(unittest.TestCase):
    def test_delays_only_the_chosen_request(self):
        with Simulator("--fault", "delay=800:req=2", quiet=True) as sim, connect(sim.port) as s:
            times = []
            for tid in (1, 2, 3):
                began = time.monotonic()
                s.sendall(mbap(tid, 1, READ))
                self.assertEqual(tid_of(recv_mbap(s)), tid)
                times.append(time.monotonic() - began)
        # Generous bounds: the machine may be busy, but never makes a reply early.
        self.assertLess(times[0], 0.5)
        self.assertGreaterEqual(times[1], 0.79)
        self.assertLess(times[2], 0.5)

    def test_drop_carries_the_write_out_but_sends_nothing(self):
        with Simulator("--fault", "drop:addr=999", quiet=True) as sim, connect(sim.port) as s:
            s.sendall(mbap(1, 1, bytes([6]) + struct.pack(">HH", 999, 7)))
            self.assertTrue(no_reply(s), "the reply to the magic address is dropped")
            s.sendall(mbap(2, 1, bytes([3]) + struct.pack(">HH", 998, 2)))
            reply = recv_mbap(s)
            self.assertEqual(tid_of(reply), 2, "the connection goes on")
            self.assertEqual(reply[-2:], b"\x00\x07", "the write was carried out")

    def test_exception_fault_answers_and_changes_nothing(self):
        with Simulator("--fault", "exception=6:fc=6", quiet=True) as sim, connect(sim.port) as s:
            s.sendall(mbap(1, 1, bytes([6, 0, 5, 0, 9])))
            self.assertEqual(recv_mbap(s)[7:].hex(" "), "86 06")
            s.sendall(mbap(2, 1, read_at(5)))
            self.assertEqual(recv_mbap(s)[-2:], b"\x00\x00")

    def test_bad_tid_and_bad_unit_change_the_header_only(self):
        with Simulator("--fault", "bad-tid:req=1", "--fault", "bad-unit:req=2",
                       quiet=True) as sim, connect(sim.port) as s:
            s.sendall(mbap(0x1234, 1, READ))
            self.assertEqual(tid_of(recv_mbap(s)), 0x1235)
            s.sendall(mbap(0x2000, 1, READ))
            reply = recv_mbap(s)
            self.assertEqual((tid_of(reply), reply[6]), (0x2000, 2))

    def test_probability_is_repeatable_with_the_same_seed(self):
        def dropped_requests(seed):
            with Simulator("--fault", "drop:prob=0.5", "--seed", str(seed),
                           quiet=True) as sim, connect(sim.port) as s:
                # Every request is sent, then the answered ones are collected:
                # the dropped ones are the transaction ids that never come.
                s.sendall(b"".join(mbap(t, 1, READ) for t in range(1, 41)))
                answered = set()
                s.settimeout(1.0)
                try:
                    while len(answered) < 40:
                        answered.add(tid_of(recv_mbap(s, timeout=1.0)))
                except (socket.timeout, struct.error):
                    pass
                return sorted(set(range(1, 41)) - answered)

        first = dropped_requests(7)
        self.assertTrue(5 < len(first) < 35, first)
        self.assertEqual(first, dropped_requests(7))
        self.assertNotEqual(first, dropped_requests(8))


class Segments(unittest.TestCase):
    def test_split_sends_header_and_body_in_separate_segments(self):
        with Simulator("--fault", "split=400", quiet=True) as sim, connect(sim.port) as s:
            s.sendall(mbap(1, 1, READ))
            s.settimeout(2)
            head = s.recv(100)
            began = time.monotonic()
            body = s.recv(100)
            pause = time.monotonic() - began
        self.assertEqual(len(head), 7, "MBAP header with the unit id: %s" % head.hex(" "))
        self.assertEqual(len(head + body), READ_REPLY_LENGTH)
        self.assertGreater(pause, 0.3)

    def test_split_at_chooses_the_cut(self):
        with Simulator("--fault", "split=100+split-at=3", quiet=True) as sim, connect(sim.port) as s:
            s.sendall(mbap(1, 1, READ))
            s.settimeout(2)
            self.assertEqual(len(s.recv(100)), 3)

    def test_trickle_sends_one_byte_per_segment(self):
        with Simulator("--fault", "trickle=50", quiet=True) as sim, connect(sim.port) as s:
            s.sendall(mbap(1, 1, READ))
            s.settimeout(2)
            sizes = []
            while sum(sizes) < READ_REPLY_LENGTH:
                sizes.append(len(s.recv(100)))
        # A busy machine may let two bytes meet in our buffer now and then.
        self.assertEqual(sum(sizes), READ_REPLY_LENGTH)
        self.assertGreaterEqual(sizes.count(1), READ_REPLY_LENGTH - 3, sizes)

    def test_pair_holds_a_reply_back_and_sends_it_with_the_next(self):
        with Simulator("--fault", "pair:req=1", quiet=True) as sim, connect(sim.port) as s:
            s.sendall(mbap(1, 1, READ))
            self.assertTrue(no_reply(s), "the first reply is held back")
            s.sendall(mbap(2, 1, READ))
            s.settimeout(2)
            both = recv_exactly(s, 2 * READ_REPLY_LENGTH)
            # Both arrived in one write; a read of the first frame's size
            # already finds the second waiting.
            self.assertEqual((tid_of(both), tid_of(both[READ_REPLY_LENGTH:])), (1, 2))

    def test_twice_and_noise_put_more_than_one_reply_in_a_segment(self):
        with Simulator("--fault", "twice:req=1", "--fault", "noise=3:req=2",
                       quiet=True) as sim, connect(sim.port) as s:
            s.sendall(mbap(7, 1, READ))
            s.settimeout(2)
            data = recv_exactly(s, 2 * READ_REPLY_LENGTH)
            self.assertEqual(data[:READ_REPLY_LENGTH], data[READ_REPLY_LENGTH:])
            s.sendall(mbap(8, 1, READ))
            data = recv_exactly(s, 3 + READ_REPLY_LENGTH)
            self.assertEqual(tid_of(data[3:]), 8, data.hex(" "))

    def test_pymodbus_reassembles_split_and_trickled_replies(self):
        with Simulator("--fault", "split=30:fc=3", "--fault", "trickle=5:fc=4",
                       "--set", "hr:0-1=11,22", "--set", "ir:0=33", quiet=True) as sim:
            client = ModbusTcpClient("127.0.0.1", port=sim.port, timeout=2)
            self.assertTrue(client.connect())
            try:
                self.assertEqual(client.read_holding_registers(0, 2, slave=1).registers, [11, 22])
                self.assertEqual(client.read_input_registers(0, 1, slave=1).registers, [33])
            finally:
                client.close()


class Connections(unittest.TestCase):
    def test_close_after_n_requests_on_every_connection(self):
        with Simulator("--close-after", "3", quiet=True) as sim:
            for _ in range(2):
                with connect(sim.port) as s:
                    for tid in (1, 2, 3):
                        s.sendall(mbap(tid, 1, READ))
                        self.assertEqual(tid_of(recv_mbap(s)), tid)
                    s.settimeout(2)
                    self.assertEqual(s.recv(100), b"", "closed after the third reply")

    def test_close_answers_nothing_and_conn_selects_the_connection(self):
        with Simulator("--fault", "close:conn=2", quiet=True) as sim:
            with connect(sim.port) as first:
                first.sendall(mbap(1, 1, READ))
                self.assertEqual(tid_of(recv_mbap(first)), 1)
            with connect(sim.port) as second:
                second.sendall(mbap(1, 1, READ))
                second.settimeout(2)
                self.assertEqual(second.recv(100), b"")

    def test_cut_closes_mid_frame_at_points_the_seed_repeats(self):
        def cuts(seed):
            lengths = []
            with Simulator("--fault", "cut", "--seed", str(seed), quiet=True) as sim:
                for _ in range(8):
                    with connect(sim.port) as s:
                        s.sendall(mbap(1, 1, READ))
                        lengths.append(len(recv_exactly(s, 100, timeout=2)))
            return lengths

        first = cuts(3)
        self.assertTrue(all(n < READ_REPLY_LENGTH for n in first), first)
        self.assertGreater(len(set(first)), 2, first)
        self.assertEqual(first, cuts(3))

    def test_random_cuts_and_closes_leave_no_descriptor_behind(self):
        with Simulator("--fault", "cut:prob=0.3", "--fault", "close:prob=0.1", "--seed", "11",
                       quiet=True) as sim:
            fd_dir = "/proc/%d/fd" % sim.process.pid
            baseline = len(os.listdir(fd_dir))
            complete = cut = 0
            for _ in range(60):
                with connect(sim.port) as s:
                    for tid in range(1, 6):
                        try:
                            s.sendall(mbap(tid, 1, READ))
                            reply = recv_mbap(s, timeout=2)
                        except (BrokenPipeError, ConnectionResetError):
                            reply = b""
                        if len(reply) == READ_REPLY_LENGTH:
                            self.assertEqual(tid_of(reply), tid)
                            complete += 1
                            continue
                        # Anything shorter is a cut: the connection is closed after it.
                        self.assertLess(len(reply), READ_REPLY_LENGTH)
                        cut += 1
                        break
            self.assertGreater(complete, 20)
            self.assertGreater(cut, 20)
            deadline = time.monotonic() + 5
            while len(os.listdir(fd_dir)) != baseline and time.monotonic() < deadline:
                time.sleep(0.05)
            self.assertEqual(len(os.listdir(fd_dir)), baseline)
            with connect(sim.port) as s:
                s.sendall(mbap(1, 1, READ))
                self.assertIn(len(recv_mbap(s)), range(READ_REPLY_LENGTH + 1), "still serving")

    def test_refuse_closes_the_first_connections_at_once(self):
        with Simulator("--refuse", "2", quiet=True) as sim:
            for _ in range(2):
                with connect(sim.port) as s:
                    s.settimeout(2)
                    try:
                        self.assertEqual(s.recv(100), b"")
                    except ConnectionResetError:
                        pass
            with connect(sim.port) as s:
                s.sendall(mbap(1, 1, READ))
                self.assertEqual(tid_of(recv_mbap(s)), 1)

    def test_refuse_a_chosen_connection_between_served_ones(self):
        with Simulator("--refuse", "conn=2", quiet=True) as sim:
            for expect_reply in (True, False, True):
                with connect(sim.port) as s:
                    s.sendall(mbap(1, 1, READ))
                    try:
                        reply = recv_mbap(s, timeout=2)
                    except ConnectionResetError:
                        reply = b""
                    self.assertEqual(len(reply) == READ_REPLY_LENGTH, expect_reply)

    def test_no_listen_refuses_connections_on_a_reserved_port(self):
        with Simulator("--no-listen", quiet=True) as sim:
            self.assertTrue(sim.first_line.startswith("refusing on"), sim.first_line)
            with self.assertRaises(ConnectionRefusedError):
                connect(sim.port)

    def test_garbage_replaces_the_reply(self):
        with Simulator("--fault", "garbage=5:every=2", quiet=True) as sim, connect(sim.port) as s:
            s.sendall(mbap(1, 1, READ))
            self.assertEqual(tid_of(recv_mbap(s)), 1)
            s.sendall(mbap(2, 1, READ))
            self.assertEqual(len(recv_exactly(s, 5, timeout=2)), 5)
            self.assertTrue(no_reply(s, 0.2), "exactly 5 bytes")


if __name__ == "__main__":
    unittest.main()
