"""A pymodbus slave for the protocol peer tests.

Serves the coils, discrete inputs, holding and input registers given on the
command line over TCP (MBAP framing or RTU framing) or on a serial device with
RTU framing. Prints "READY <port>" (the TCP port, or 0 on a serial device) once
it serves, and runs until it is terminated.
"""
import argparse
import asyncio
import logging
import signal
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server.async_io import ModbusSerialServer, ModbusTcpServer
from pymodbus.transaction import ModbusRtuFramer, ModbusSocketFramer


def bits(text):
    return [c == "1" for c in text] or [False]


def words(text):
    return [int(v) for v in text.split(",")] if text else [0]


async def serve(args):
    # zero_mode: request address 0 is the first value, with no +1 shift.
    store = ModbusSlaveContext(
        co=ModbusSequentialDataBlock(0, bits(args.coils)),
        di=ModbusSequentialDataBlock(0, bits(args.discrete)),
        hr=ModbusSequentialDataBlock(0, words(args.holding)),
        ir=ModbusSequentialDataBlock(0, words(args.input)),
        zero_mode=True)
    context = ModbusServerContext(slaves=store, single=True)
    if args.mode == "serial":
        server = ModbusSerialServer(context, framer=ModbusRtuFramer, port=args.device,
                                    baudrate=115200)
        await server.start()
        port = 0
        task = asyncio.create_task(server.serve_forever())
    else:
        framer = ModbusRtuFramer if args.mode == "rtu-over-tcp" else ModbusSocketFramer
        server = ModbusTcpServer(context, framer, address=("127.0.0.1", 0))
        task = asyncio.create_task(server.serve_forever())
        await server.serving
        port = server.server.sockets[0].getsockname()[1]
    print(f"READY {port}", flush=True)
    await task


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mode", choices=["tcp", "rtu-over-tcp", "serial"], required=True)
    parser.add_argument("--device", default="")
    parser.add_argument("--coils", default="")
    parser.add_argument("--discrete", default="")
    parser.add_argument("--holding", default="")
    parser.add_argument("--input", default="")
    args = parser.parse_args()
    logging.basicConfig(level=logging.CRITICAL)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    asyncio.run(serve(args))


if __name__ == "__main__":
    main()
