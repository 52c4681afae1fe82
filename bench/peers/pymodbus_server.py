"""pymodbus peer of the server benchmark: 65536 holding and input registers on 127.0.0.1.

usage: /usr/bin/python3 pymodbus_server.py port        (stops on SIGTERM)
"""
import logging
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server import StartTcpServer


def main():
    logging.basicConfig(level=logging.CRITICAL)
    port = int(sys.argv[1])
    store = ModbusSlaveContext(
        hr=ModbusSequentialDataBlock(0, [0] * 65536),
        ir=ModbusSequentialDataBlock(0, [0] * 65536),
        zero_mode=True)
    context = ModbusServerContext(slaves=store, single=True)
    StartTcpServer(context=context, address=("127.0.0.1", port))


if __name__ == "__main__":
    main()
