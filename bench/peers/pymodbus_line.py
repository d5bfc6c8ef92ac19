#!/usr/bin/python3
# The peer figures for bench_late_reply and bench_many_drives: pymodbus on
# the same serial line, asked the same questions as halvex-cli, with the same
# time-out and the same number of tries (no pause between them, as
# halvex-cli makes none). The benchmarks run it beside their own figures; it
# can also be run alone.
#
# Needs Debian's python3-pymodbus, python3-serial and python3-serial-asyncio:
#   sudo apt-get install python3-pymodbus python3-serial python3-serial-asyncio
#
#   pymodbus_line.py read PORT BAUD STATION TIMEOUT_MS TRIES ADDRESS
#       one register, printed as "ADDRESS=VALUE" (signed); exit 1 without an answer
#   pymodbus_line.py dump PORT BAUD STATION TIMEOUT_MS TRIES
#       the registers halvex-cli params dump reads (0..149 and 30000..31999, in
#       blocks of 50), one "ADDRESS=VALUE" line each; exit 1 when a block fails

import logging
import sys

from pymodbus.client import ModbusSerialClient

BLOCKS = [(a, 50) for a in range(0, 150, 50)] + [(a, 50) for a in range(30000, 32000, 50)]


def signed(word):
    return word - 0x10000 if word >= 0x8000 else word


def main():
    logging.disable(logging.CRITICAL)
    mode, port, baud, station, timeout_ms, tries = sys.argv[1:7]
    client = ModbusSerialClient(
        port=port,
        baudrate=int(baud),
        bytesize=8,
        parity="N",
        stopbits=2,
        retries=max(1, int(tries) - 1),
        retry_on_empty=True,
        # pymodbus reads 0 as "its default of 0.3 s": a microsecond is none.
        backoff=1e-6,
    )
    # Debian's pymodbus 3.0 keeps only whole seconds of the time-out it is
    # given; set it as the float it is meant to be.
    client.params.timeout = int(timeout_ms) / 1000.0
    # Nor does it hand the tries to the part that makes them: set them there.
    client.transaction.retries = max(1, int(tries) - 1)
    client.transaction.retry_on_empty = True
    client.transaction.backoff = 1e-6
    if not client.connect():
        print(f"cannot open {port}", file=sys.stderr)
        return 3
    slave = int(station)
    blocks = [(int(sys.argv[7]), 1)] if mode == "read" else BLOCKS
    out = []
    status = 0
    for address, count in blocks:
        reply = client.read_holding_registers(address, count, slave=slave)
        if reply.isError():
            status = 1
            break
        out.extend(f"{address + k}={signed(v)}" for k, v in enumerate(reply.registers))
    client.close()
    if out:
        print("\n".join(out))
    return status


if __name__ == "__main__":
    sys.exit(main())
