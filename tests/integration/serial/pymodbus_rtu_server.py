"""A pymodbus Modbus RTU slave (address 1) on a serial device, holding the
values the serial peer test expects. Usage: pymodbus_rtu_server.py DEVICE BAUD"""
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.framer.rtu_framer import ModbusRtuFramer
from pymodbus.server import StartSerialServer

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
    device, baud = sys.argv[1], int(sys.argv[2])
    # zero_mode: the address in a request is the index into the block.
    slave = ModbusSlaveContext(co=block(COILS), di=block(INPUTS), hr=block(HOLDING),
                               ir=block(INPUT_REGISTERS), zero_mode=True)
    context = ModbusServerContext(slaves={1: slave}, single=False)
    # pymodbus 3.0 serves ASCII unless told otherwise.
    StartSerialServer(context=context, framer=ModbusRtuFramer, port=device, baudrate=baud,
                      bytesize=8, parity="N", stopbits=1, timeout=0.05)


if __name__ == "__main__":
    main()
