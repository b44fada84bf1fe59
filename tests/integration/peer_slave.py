"""A Modbus slave written by others for the integration tests: pymodbus, or
libmodbus through ctypes.

  peer_slave.py pymodbus|libmodbus tcp|rtu-over-tcp|serial [DEVICE BAUD] [unit=N] [TABLE:START=V,...]...

TABLE is co, di, hr or ir (at least 100 items each). TCP listens on 127.0.0.1
at a port the system picks. Prints "READY <port>" (0 on a serial device) once
it serves, and runs until it is terminated. rtu-over-tcp is pymodbus's only;
libmodbus's RTU slave answers address N alone, pymodbus's every address.
"""
import ctypes
import os
import socket
import sys


def ready(port):
    print(f"READY {port}", flush=True)


def serve_pymodbus(link, device, baud, tables):
    import asyncio
    import logging
    from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                    ModbusSlaveContext)
    from pymodbus.server.async_io import ModbusSerialServer, ModbusTcpServer
    from pymodbus.transaction import ModbusRtuFramer, ModbusSocketFramer

    logging.disable(logging.CRITICAL)

    async def serve():
        # zero_mode: request address 0 is the first value, with no +1 shift.
        blocks = {t: ModbusSequentialDataBlock(0, v) for t, v in tables.items()}
        context = ModbusServerContext(slaves=ModbusSlaveContext(zero_mode=True, **blocks),
                                      single=True)
        if link == "serial":  # pymodbus 3.0 serves ASCII unless told otherwise
            server = ModbusSerialServer(context, framer=ModbusRtuFramer, port=device,
                                        baudrate=baud)
            await server.start()
            task = asyncio.create_task(server.serve_forever())
            ready(0)
        else:
            framer = ModbusRtuFramer if link == "rtu-over-tcp" else ModbusSocketFramer
            server = ModbusTcpServer(context, framer, address=("127.0.0.1", 0))
            task = asyncio.create_task(server.serve_forever())
            await server.serving
            ready(server.server.sockets[0].getsockname()[1])
        await task

    asyncio.run(serve())


class Mapping(ctypes.Structure):
    _fields_ = [(f"count{i}", ctypes.c_int) for i in range(8)] + [
        ("co", ctypes.POINTER(ctypes.c_uint8)), ("di", ctypes.POINTER(ctypes.c_uint8)),
        ("ir", ctypes.POINTER(ctypes.c_uint16)), ("hr", ctypes.POINTER(ctypes.c_uint16))]


def libmodbus():
    lib = ctypes.CDLL("libmodbus.so.5", use_errno=True)
    lib.modbus_new_tcp.restype = lib.modbus_new_rtu.restype = ctypes.c_void_p
    lib.modbus_mapping_new.restype = ctypes.POINTER(Mapping)
    lib.modbus_strerror.restype = ctypes.c_char_p
    return lib


def serve_libmodbus(link, device, baud, unit, tables):
    lib = libmodbus()
    mapping = lib.modbus_mapping_new(*(len(tables[t]) for t in ("co", "di", "hr", "ir")))
    for table, values in tables.items():
        for i, value in enumerate(values):
            getattr(mapping.contents, table)[i] = value
    query = (ctypes.c_uint8 * 260)()

    def answer(ctx):
        """Until the link fails; libmodbus's own protocol errors (from 112345678) do not end it."""
        while (length := lib.modbus_receive(ctx, query)) >= 0 or ctypes.get_errno() >= 112345678:
            if length > 0:
                lib.modbus_reply(ctx, query, length, mapping)

    if link == "serial":
        ctx = ctypes.c_void_p(lib.modbus_new_rtu(device.encode(), baud, ctypes.c_char(b"N"), 8, 1))
        if lib.modbus_set_slave(ctx, unit) != 0 or lib.modbus_connect(ctx) != 0:
            sys.exit("cannot open " + device)
        ready(0)
        while True:
            answer(ctx)
    ctx = ctypes.c_void_p(lib.modbus_new_tcp(b"127.0.0.1", 0))
    listener = ctypes.c_int(lib.modbus_tcp_listen(ctx, 1))
    with socket.socket(fileno=os.dup(listener.value)) as s:
        ready(s.getsockname()[1])
    while lib.modbus_tcp_accept(ctx, ctypes.byref(listener)) >= 0:
        answer(ctx)
        lib.modbus_close(ctx)


def main():
    library, link, rest = sys.argv[1], sys.argv[2], sys.argv[3:]
    device, baud, unit, tables = None, 0, 1, {t: [0] * 100 for t in ("co", "di", "hr", "ir")}
    if link == "serial":
        device, baud, rest = rest[0], int(rest[1]), rest[2:]
    for arg in rest:
        name, value = arg.split("=", 1)
        if name == "unit":
            unit = int(value)
            continue
        table, start = name.split(":")
        values, start = [int(v) for v in value.split(",")], int(start)
        block = tables[table]
        block.extend([0] * (start + len(values) - len(block)))
        block[start:start + len(values)] = values
    if library == "pymodbus":
        serve_pymodbus(link, device, baud, tables)
    else:
        serve_libmodbus(link, device, baud, unit, tables)


if __name__ == "__main__":
    main()
