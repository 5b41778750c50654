#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_map_reader: one small map per record layout, each holding
every kind of object the version knows, with addresses, extra blocks and nested groups, in the
byte layout of that version. Deterministic: rerunning rewrites identical files.

    fuzz/make_seeds.py fuzz/corpus/fuzz_map_reader
"""

import os
import struct
import sys

POLYGON, LINE, PIXEL, TEXT, BITMAP, BEZIER, ELLIPSE, NOTE, GROUP, BEZIER_FILL = range(10)


def short(text, capacity):
    data = text.encode("cp1251")[:capacity]
    return bytes([len(data)]) + data + bytes(capacity - len(data))


def header(version, objects, streets, towns):
    sig = short("Kestrum seed", 40)
    common = (sig + struct.pack("<i", version) + short("seed map v%d" % version, 255) +
              short("fuzz/make_seeds.py", 255) + bytes(5) +
              struct.pack("<idii", 5000, 45000.5, objects, 100))
    if version >= 10:
        return common + struct.pack("<dffiiiiB", 150.0, -10.0, 20.0, len(streets), 50, len(towns), 7, 0)
    tail = struct.pack("<iffii", 0, -10.0, 20.0, len(streets), 50)
    if version == 9:
        tail += struct.pack("<ii", len(towns), 7)
    return common + tail


def dictionary(entries):
    return b"".join(struct.pack("<h", code) + short(name, 40) for code, name in entries)


def address(version, town, street, house, street1=-1, house1=""):
    if version <= 3:
        return struct.pack("<h", street) + short(house, 4)
    if version <= 6:
        return struct.pack("<h", street) + short(house, 6)
    if version <= 8:
        return struct.pack("<h", street) + short(house, 6) + struct.pack("<h", street1) + short(house1, 6)
    if version <= 13:
        return (struct.pack("<hh", town, street) + short(house, 6) + struct.pack("<h", street1) +
                short(house1, 6))
    return struct.pack("<hh", town, street) + short(house, 12) + struct.pack("<h", street1) + short(house1, 12)


def record(version, kind, count, oid, corners=(0, 0, 10, 10), pen=(0x404040, 0, 2, 0), brush=(0xC0C0C0, 0),
           has_address=0, has_extra=0, plane=5, cls=100, height=7.5, alpha=200):
    x0, y0, x1, y1 = corners
    box = struct.pack("<8f", x0, y0, x1, y0, x1, y1, x0, y1)
    centre = struct.pack("<ff", (x0 + x1) / 2, (y0 + y1) / 2)
    color, style, width, flags = pen
    if version <= 3:
        return (struct.pack("<i", oid) + box + struct.pack("<iiBBi", plane, cls, 0, kind, count) +
                struct.pack("<iBiI", color, style, width, flags) + struct.pack("<iBBB", *brush, has_address, has_extra))
    if version <= 7:
        return (struct.pack("<iiB", oid, -1, 0) + box + centre + struct.pack("<iiBBi", plane, cls, 0, kind, count) +
                struct.pack("<iBiI", color, style, width, flags) + struct.pack("<iBBB", *brush, has_address, has_extra))
    head = struct.pack("<iiB", oid, -1, 0) + centre + struct.pack("<iiBBi", plane, cls, 0, kind, count)
    if version <= 11:
        rec = head + struct.pack("<iBiI", color, style, width, flags) + struct.pack("<iBBB", *brush, has_address,
                                                                                    has_extra)
        return rec + struct.pack("<f", height) if version == 11 else rec
    pen_bytes = struct.pack("<iBiI" if version == 12 else "<iBfI", color, style, width, flags)
    return (head + struct.pack("<B", alpha) + pen_bytes + struct.pack("<iBBB", *brush, has_address, has_extra) +
            struct.pack("<f", height))


def points(pts):
    return b"".join(struct.pack("<ff", x, y) for x, y in pts)


def point_object(version, oid, kind, pts, **kw):
    return record(version, kind, len(pts), oid, **kw) + points(pts)


def house(version, oid, x, y, street, number, street1=-1, number1=""):
    pts = [(x, y), (x + 8, y), (x + 8, y + 6), (x, y + 6)]
    rec = record(version, POLYGON, len(pts), oid, corners=(x, y, x + 8, y + 6), has_address=1)
    return rec + address(version, 0, street, number, street1, number1) + points(pts)


def text(version, oid, x, y, angle, size, s):
    raw = s.encode("cp1251")
    if version <= 7:
        block = struct.pack("<ffiBi", x, y, angle, 0, int(size)) + short(s, 70)
        return record(version, TEXT, 0, oid) + block
    size_bytes = struct.pack("<i", int(size)) if version <= 12 else struct.pack("<f", size)
    block = struct.pack("<ffiB", x, y, angle, 1) + size_bytes + struct.pack("<i", len(raw)) + raw + b"\0"
    return record(version, TEXT, len(block), oid) + block


def note(version, oid, x, y, s):
    if version <= 4:
        return record(version, NOTE, 0, oid) + struct.pack("<ffii", x, y, 3, 0) + short(s, 255)
    if version <= 7:
        return (record(version, NOTE, 0, oid) + struct.pack("<ff", x, y) + short("DEFAULT", 30) + short("flag", 30) +
                bytes(4) + short(s, 255))
    raw = s.encode("cp1251")
    block = struct.pack("<ff", x, y) + short("DEFAULT", 30) + short("flag", 30) + struct.pack("<i", len(raw)) + raw
    block += b"\0"
    return record(version, NOTE, len(block), oid) + block


def bitmap(version, oid, image):
    corners = points([(20, 20), (40, 20), (40, 35), (20, 35)])
    if version <= 11:
        block = corners + struct.pack("<BBii", 0, 1, 0xFFFFFF, 0)
    elif version == 12:
        block = corners + struct.pack("<Bi", 0, len(image)) + image
    else:
        block = corners + struct.pack("<BBii", 1, 1, 0x00FF00, len(image)) + image
    return record(version, BITMAP, 42, oid) + block


def group(version, oid, children):
    if version <= 3:
        # These versions know no child lists: the reader skips DataCount raw bytes.
        raw = bytes(range(12))
        return record(version, GROUP, len(raw), oid) + raw
    return record(version, GROUP, len(children), oid) + b"".join(children)


def seed_map(version):
    streets = [(0, "ЛЕСНАЯ"), (1, "САДОВАЯ"), (2, "Lesnaya")]
    towns = [(0, "КЕСТРЮМ")] if version >= 9 else []
    objs = []
    oid = iter(range(1, 1000))
    objs.append(point_object(version, next(oid), POLYGON, [(0, 0), (100, 0), (100, 80), (0, 80)], plane=-10))
    objs.append(point_object(version, next(oid), LINE, [(5, 30), (50, 31), (95, 30)], pen=(0x808080, 0, 6, 0)))
    objs.append(point_object(version, next(oid), LINE, [(5, 70), (95, 70)], pen=(0, 0, 0, 0xFFFFFFFF)))
    objs.append(point_object(version, next(oid), PIXEL, [(60, 60), (61, 62)]))
    objs.append(point_object(version, next(oid), BEZIER, [(10, 10), (20, 0), (30, 20), (40, 10)]))
    objs.append(point_object(version, next(oid), BEZIER_FILL, [(50, 50), (60, 40), (70, 60), (50, 50)]))
    objs.append(point_object(version, next(oid), ELLIPSE, [(70, 5), (90, 15)]))  # two corners
    objs.append(point_object(version, next(oid), ELLIPSE, [(70, 5), (90, 5), (90, 15), (70, 15)]))
    objs.append(house(version, next(oid), 10, 40, 0, "12а", 1, "3"))
    objs.append(house(version, next(oid), 30, 40, 1, "5"))
    objs.append(text(version, next(oid), 12, 20, 45 if version <= 5 else 450, 12, " Лесная улица "))
    objs.append(note(version, next(oid), 50, 50, "Заметка: мост"))
    if version >= 12:
        objs.append(bitmap(version, next(oid), b"\xff\xd8\xff\xe0JFIF-ish\xff\xd9"))
    else:
        objs.append(bitmap(version, next(oid), b""))
    inner = group(version, next(oid), [point_object(version, next(oid), LINE, [(1, 1), (2, 2)]),
                                       text(version, next(oid), 3, 3, 0, 8, "в группе")])
    objs.append(group(version, next(oid), [house(version, next(oid), 60, 10, 2, "1"), inner]))
    objs.append(group(version, next(oid), []))
    extra = record(version, POLYGON, 3, next(oid), has_extra=1) + bytes(range(51)) + points([(0, 0), (1, 0), (0, 1)])
    objs.append(extra)
    objs.append(record(version, 42, 0, next(oid)))  # a kind beyond the known ones carries no data
    count = len(objs) - 2 if version <= 3 else len(objs)  # versions 1-3 read to the end whatever the count
    return header(version, count, streets, towns) + dictionary(streets) + dictionary(towns) + b"".join(objs)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus", "fuzz_map_reader")
    os.makedirs(out, exist_ok=True)
    for version in (1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14):
        with open(os.path.join(out, "seed_v%02d.map" % version), "wb") as f:
            f.write(seed_map(version))
    # An empty map: the dictionaries that follow must be ignored.
    with open(os.path.join(out, "seed_v14_empty.map"), "wb") as f:
        f.write(header(14, 0, [(0, "X")], []) + dictionary([(0, "X")]))
    # A version the reader does not know loads as an empty map.
    with open(os.path.join(out, "seed_v15.map"), "wb") as f:
        f.write(header(15, 1, [], []))


if __name__ == "__main__":
    main()
