"""A Modbus slave written by others (pymodbus, or libmodbus through ctypes) for
the integration tests.

  peer_slave.py pymodbus|libmodbus tcp|rtu-over-tcp|serial [DEVICE BAUD] [unit=N] [TABLE:START=V,...]...

TABLE is co, di, hr or ir; each table holds at least 100 items. TCP listens on
127.0.0.1 at a port the system picks. Prints "READY <port>" (0 on a serial
device) once it serves, and runs until it is terminated.
"""
import ctypes
import os
import socket
import sys

TABLES = ("co", "di", "hr", "ir")


def parse(args):
    link, device, baud, unit, tables = args[0], None, 0, 1, {t: [0] * 100 for t in TABLES}
    rest = args[1:]
    if link == "serial":
        device, baud, rest = rest[0], int(rest[1]), rest[2:]
    for arg in rest:
        if arg.startswith("unit="):
            unit = int(arg[5:])
            continue
        table, spec = arg.split(":", 1)
        start, values = spec.split("=", 1)
        values = [int(v) for v in values.split(",")]
        block = tables[table]
        block.extend([0] * (int(start) + len(values) - len(block)))
        block[int(start):int(start) + len(values)] = values
    return link, device, baud, unit, tables


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
        store = ModbusSlaveContext(zero_mode=True, **blocks)
        context = ModbusServerContext(slaves=store, single=True)
        if link == "serial":
            # pymodbus 3.0 serves ASCII unless told otherwise.
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
    _fields_ = [(n, ctypes.c_int) for n in ("nb_bits", "start_bits", "nb_input_bits",
                                            "start_input_bits", "nb_input_registers",
                                            "start_input_registers", "nb_registers",
                                            "start_registers")] + [
        ("co", ctypes.POINTER(ctypes.c_uint8)), ("di", ctypes.POINTER(ctypes.c_uint8)),
        ("ir", ctypes.POINTER(ctypes.c_uint16)), ("hr", ctypes.POINTER(ctypes.c_uint16))]


def libmodbus():
    lib = ctypes.CDLL("libmodbus.so.5", use_errno=True)
    for name in ("modbus_new_tcp", "modbus_new_rtu"):
        getattr(lib, name).restype = ctypes.c_void_p
    lib.modbus_mapping_new.restype = ctypes.POINTER(Mapping)
    lib.modbus_strerror.restype = ctypes.c_char_p
    return lib


def serve_libmodbus(link, device, baud, unit, tables):
    lib = libmodbus()
    sizes = {t: len(v) for t, v in tables.items()}
    mapping = lib.modbus_mapping_new(sizes["co"], sizes["di"], sizes["hr"], sizes["ir"])
    for table, values in tables.items():
        for i, value in enumerate(values):
            getattr(mapping.contents, table)[i] = value
    query = (ctypes.c_uint8 * 260)()

    def answer(ctx):
        """Until the connection ends; libmodbus's own protocol errors do not end it."""
        while True:
            length = lib.modbus_receive(ctx, query)
            if length > 0:
                lib.modbus_reply(ctx, query, length, mapping)
            elif length < 0 and ctypes.get_errno() < 112345678:
                return

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
    library, (link, device, baud, unit, tables) = sys.argv[1], parse(sys.argv[2:])
    if library == "pymodbus":
        serve_pymodbus(link, device, baud, tables)
    else:
        serve_libmodbus(link, device, baud, unit, tables)


if __name__ == "__main__":
    main()
