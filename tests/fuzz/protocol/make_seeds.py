"""Writes the seed inputs of the protocol fuzzers: sound replies (and, for the
breakdown, requests) of every function in both framings, behind the set-up
bytes each harness reads first. Run it from this folder after a change of
the harnesses' input layout."""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "integration"))
from peers import mbap, rtu  # noqa: E402  (the integration tests' framing)

FUNCTIONS = [1, 2, 3, 4, 5, 6, 15, 16, 65, 66, 67, 68]
SLAVE = 17


def frame(protocol, pdu):
    return mbap(1, SLAVE, pdu) if protocol == 0 else rtu(bytes([SLAVE]) + pdu)


# (name, function, preset id, poll size, start, reply PDU)
CASES = [
    ("coils19", 1, 0, 19, 3, bytes([1, 3, 0xA5, 0x5A, 0x03])),
    ("inputs8", 2, 0, 8, 0, bytes([2, 1, 0x81])),
    ("shortuints4", 3, 1, 4, 0, bytes([3, 8]) + struct.pack(">4H", 0, 1, 0x1234, 0xFFFF)),
    ("longuints2", 4, 7, 2, 10, bytes([4, 8]) + struct.pack(">2I", 305419896, 70000)),
    ("rosemount2", 3, 3, 2, 20, bytes([3, 8, 0x0F, 0xDB, 0x40, 0x49, 0, 0, 0xC0, 0x20])),
    ("philipsdouble1", 3, 6, 1, 40, bytes([3, 8]) + struct.pack(">d", 3.141592653589793)),
    ("writecoil", 5, 0, 1, 2100, bytes([5, 0x08, 0x34, 0xFF, 0x00])),
    ("writeregister", 6, 1, 1, 250, bytes([6, 0, 250, 0x12, 0x34])),
    ("writecoils", 15, 0, 10, 2110, bytes([15, 0x08, 0x3E, 0, 10])),
    ("writeregisters", 16, 1, 3, 252, bytes([16, 0, 252, 0, 3])),
    ("danielfloats", 65, 2, 2, 300, bytes([65, 2]) + struct.pack(">2f", 1.0, -2.0)),
    ("danielwritefloats", 66, 2, 2, 300, bytes([66, 2])),
    ("danieldoubles", 67, 4, 1, 7, bytes([67, 1]) + struct.pack(">d", 0.1)),
    ("ascii", 3, 8, 1, 0, bytes([3, 8]) + b"AB\0\0\0\0\0\0"),
    ("exception", 3, 1, 2, 5000, bytes([0x83, 2])),
]

# The breakdown's requests: (name, function, preset id, poll size, request PDU)
REQUESTS = [
    ("readcoils", 1, 0, 10, bytes([1, 0, 100, 0, 10])),
    ("readregisters", 3, 1, 10, bytes([3, 0, 0, 0, 10])),
    ("writecoil", 5, 0, 1, bytes([5, 0, 10, 0xFF, 0])),
    ("writeregister", 6, 1, 1, bytes([6, 0, 7, 0x04, 0xD2])),
    ("writecoils", 15, 0, 10, bytes([15, 0, 0, 0, 10, 2, 0x01, 0x02])),
    ("writeregisters", 16, 7, 2, bytes([16, 0, 1, 0, 4, 8]) + struct.pack(">2I", 65536, 7)),
    ("danielread", 65, 2, 2, bytes([65, 0, 0, 1, 0x2C, 2])),
    ("danielwritefloats", 66, 2, 2, bytes([66, 0, 0, 0, 2, 2]) + struct.pack(">2f", 1.0, -2.0)),
    ("danielwritedoubles", 68, 4, 1, bytes([68, 0, 0, 0, 7, 1]) + struct.pack(">d", 0.1)),
]


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def breakdown_setup(preset, protocol, request, count):
    # preset, encoding 0 (the preset's), framing, direction, count, our slave
    return bytes([preset, 0, protocol, request]) + struct.pack(">H", count) + bytes([SLAVE])


def main():
    for name, function, preset, size, start, pdu in CASES:
        index = FUNCTIONS.index(function)
        for protocol in (0, 1):
            reply = frame(protocol, pdu)
            setup = bytes([index, preset, protocol]) + struct.pack(">HH", size, start)
            # parse_byte: accepted address, range mode 1 (a range for the poll), range preset.
            write(os.path.join(HERE, "seeds", "parse_byte"), f"{name}_{protocol}",
                  setup + bytes([SLAVE, 1, preset + 1]) + reply)
            # parse_reply: expected address, map layout.
            write(os.path.join(HERE, "seeds", "parse_reply"), f"{name}_{protocol}",
                  setup + bytes([SLAVE, 2]) + reply)
            write(os.path.join(HERE, "seeds", "breakdown"), f"{name}_{protocol}",
                  breakdown_setup(preset, protocol, 0, size) + reply)
    for name, function, preset, size, pdu in REQUESTS:
        for protocol in (0, 1):
            write(os.path.join(HERE, "seeds", "breakdown"), f"request_{name}_{protocol}",
                  breakdown_setup(preset, protocol, 1, size) + frame(protocol, pdu))


if __name__ == "__main__":
    main()
