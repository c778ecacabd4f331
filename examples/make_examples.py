#!/usr/bin/env python3
"""Writes the example firmware files of this folder.

demo_firmware_v3_07.kfx  product 0, version 3, revision 7, serial number 1234:
                         a product header record, an extended linear address
                         record and 4 KB of code from 0x0800 in 16-byte records.
demo_app_v2_05.hex       no product header: 2 KB of code from 0x0800 in 32-byte
                         records; the identity (version 2, revision 5, product 1)
                         lies at 0x0804..0x0806.

Run it from anywhere; the files are written next to this script with CR LF ends.
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def record(rtype, address, data):
    body = bytes([len(data), (address >> 8) & 0xFF, address & 0xFF, rtype]) + bytes(data)
    checksum = (-sum(body)) & 0xFF
    return ":" + (body + bytes([checksum])).hex().upper()


def code_bytes(size, salt):
    """Deterministic filler that looks like code (a simple LCG)."""
    out, x = bytearray(), salt
    for _ in range(size):
        x = (x * 1103515245 + 12345) & 0x7FFFFFFF
        out.append((x >> 16) & 0xFF)
    return out


def data_records(start, data, per_record):
    return [record(0, (start + i) & 0xFFFF, data[i:i + per_record])
            for i in range(0, len(data), per_record)]


def application(size, version, revision, product, salt):
    code = code_bytes(size, salt)
    code[4:7] = bytes([version, revision, product])  # 0x0804..0x0806
    return code


def write(name, lines):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("ascii"))


def kfx_header(product, serial, version, revision):
    h = [0] * 16
    h[0], h[1], h[2], h[8], h[13] = product, serial & 0xFF, version, revision, serial >> 8
    return record(6, 0, h)


def main():
    kfx = [kfx_header(product=0, serial=1234, version=3, revision=7),
           record(4, 0, [0x00, 0x00])]
    kfx += data_records(0x0800, application(4096, 3, 7, 0, salt=7), 16)
    kfx.append(record(1, 0, []))
    write("demo_firmware_v3_07.kfx", kfx)

    hexfile = [record(4, 0, [0x00, 0x00])]
    hexfile += data_records(0x0800, application(2048, 2, 5, 1, salt=11), 32)
    hexfile.append(record(1, 0, []))
    write("demo_app_v2_05.hex", hexfile)


if __name__ == "__main__":
    main()
