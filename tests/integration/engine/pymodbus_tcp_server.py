"""A pymodbus Modbus TCP slave on 127.0.0.1 holding the values the engine's
peer test expects. Usage: pymodbus_tcp_server.py PORT"""
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server import StartTcpServer

SIZE = 100
COILS = {0: [1, 0, 1, 1, 0, 0, 1, 0, 1, 1]}
INPUTS = {20: [0, 1, 1, 0, 1, 0, 0, 0, 1, 1]}
HOLDING = {40: [1234, 5678, 9, 65535]}
INPUT_REGISTERS = {60: [11, 22, 33, 44]}


def block(initial):
    values = [0] * SIZE
    for start, run in initial.items():
        values[start:start + len(run)] = run
    return ModbusSequentialDataBlock(0, values)


def main():
    port = int(sys.argv[1])
    # zero_mode: the address in a request is the index into the block.
    slave = ModbusSlaveContext(co=block(COILS), di=block(INPUTS), hr=block(HOLDING),
                               ir=block(INPUT_REGISTERS), zero_mode=True)
    context = ModbusServerContext(slaves=slave, single=True)
    StartTcpServer(context=context, address=("127.0.0.1", port))


if __name__ == "__main__":
    main()
