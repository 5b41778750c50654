#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_icon_library: small icon library files whose pictures cover
the bitmap layouts the reader knows (1, 4, 8, 16, 24 and 32 bits per pixel, bottom-up and
top-down, bit fields, the OS/2 core header), plus a library of another version, an empty one
and a bare bitmap. Deterministic: rerunning rewrites identical files.

    fuzz/make_icon_seeds.py fuzz/corpus/fuzz_icon_library
"""

import os
import struct
import sys


def short(text, capacity):
    data = text.encode("cp1251")[:capacity]
    return bytes([len(data)]) + data + bytes(capacity - len(data))


def pixel(x, y):
    """A small picture: a cyan background with a red square and a blue diagonal."""
    if x == y:
        return (0, 0, 255)
    if 2 <= x < 6 and 2 <= y < 6:
        return (255, 0, 0)
    return (0, 255, 255)


def bmp(width, height, bpp, top_down=False, bitfields=False, core=False):
    palette = [(0, 255, 255), (255, 0, 0), (0, 0, 255), (0, 0, 0)][:2 if bpp == 1 else 4]
    rows = []
    stride = (width * bpp + 31) // 32 * 4
    for y in range(height):
        row = bytearray(stride)
        for x in range(width):
            r, g, b = pixel(x, y)
            if bpp <= 8:
                index = palette.index((r, g, b)) if (r, g, b) in palette else 1
                bit = x * bpp
                row[bit // 8] |= index << (8 - bpp - bit % 8)
            elif bpp == 16:
                v = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3) if bitfields else ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3)
                struct.pack_into("<H", row, 2 * x, v)
            elif bpp == 24:
                row[3 * x:3 * x + 3] = bytes((b, g, r))
            else:
                row[4 * x:4 * x + 4] = bytes((b, g, r, 0))
        rows.append(bytes(row))
    if not top_down:
        rows.reverse()
    pixels = b"".join(rows)
    if core:
        info = struct.pack("<IHHHH", 12, width, height, 1, bpp)
        table = b"".join(bytes((b, g, r)) for r, g, b in palette + [(0, 0, 0)] * ((1 << bpp) - len(palette)))
    else:
        compression = 3 if bitfields else 0
        info = struct.pack("<IiiHHIIiiII", 40, width, -height if top_down else height, 1, bpp, compression,
                           len(pixels), 0, 0, len(palette) if bpp <= 8 else 0, 0)
        if bitfields:
            info += struct.pack("<III", 0xF800, 0x07E0, 0x001F) if bpp == 16 else struct.pack("<III", 0xFF0000, 0xFF00, 0xFF)
        table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette) if bpp <= 8 else b""
    offset = 14 + len(info) + len(table)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + info + table + pixels


def library(name, pictures, version=1):
    head = short("Kestrum seed", 70) + struct.pack("<i", version) + short(name, 30) + bytes(71)
    head += struct.pack("<i", len(pictures))
    body = b""
    for pic_name, color, flag, data in pictures:
        body += short(pic_name, 30) + struct.pack("<iBi", color, flag, len(data)) + data
    return head + body


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    key = 0x00FFFF00
    seeds = {
        "depths.lib": library("Depths", [
            ("one", key, 1, bmp(9, 8, 1)),
            ("four", key, 1, bmp(9, 8, 4)),
            ("eight", key, 1, bmp(9, 8, 8)),
            ("sixteen", key, 0, bmp(9, 8, 16)),
            ("twenty-four", key, 1, bmp(9, 8, 24)),
            ("thirty-two", key, 0, bmp(9, 8, 32)),
        ]),
        "layouts.lib": library("Layouts", [
            ("top-down", key, 1, bmp(8, 8, 8, top_down=True)),
            ("fields-16", key, 1, bmp(8, 8, 16, bitfields=True)),
            ("fields-32", key, 1, bmp(8, 8, 32, bitfields=True)),
            ("core", key, 1, bmp(8, 8, 4, core=True)),
            (" duplicate ", key, 1, bmp(4, 4, 24)),
            ("DUPLICATE", 0x000000FF, 1, bmp(4, 4, 24)),
        ]),
        "version2.lib": library("Next", [("x", key, 1, bmp(4, 4, 24))], version=2),
        "empty.lib": library("Empty", []),
        "bare.bmp": bmp(16, 16, 8),
    }
    for name, data in seeds.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
