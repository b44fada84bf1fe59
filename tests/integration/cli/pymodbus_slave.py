"""A pymodbus slave (address 1) holding the values the command-line tests
expect. Usage: pymodbus_slave.py tcp PORT | pymodbus_slave.py rtu DEVICE"""
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.framer.rtu_framer import ModbusRtuFramer
from pymodbus.server import StartSerialServer, StartTcpServer

SIZE = 100
COILS = {0: [1, 0, 1, 1, 0, 0, 1, 0, 1, 1]}
HOLDING = {40: [1234, 5678, 9, 65535]}


def block(initial):
    values = [0] * SIZE
    for start, run in initial.items():
        values[start:start + len(run)] = run
    return ModbusSequentialDataBlock(0, values)


def main():
    mode, where = sys.argv[1], sys.argv[2]
    # zero_mode: the address in a request is the index into the block.
    slave = ModbusSlaveContext(co=block(COILS), di=block({}), hr=block(HOLDING),
                               ir=block({}), zero_mode=True)
    if mode == "tcp":
        StartTcpServer(context=ModbusServerContext(slaves=slave, single=True),
                       address=("127.0.0.1", int(where)))
    else:
        # pymodbus 3.0 serves ASCII unless told otherwise.
        StartSerialServer(context=ModbusServerContext(slaves={1: slave}, single=False),
                          framer=ModbusRtuFramer, port=where, baudrate=19200, bytesize=8,
                          parity="N", stopbits=1, timeout=0.05)


if __name__ == "__main__":
    main()
