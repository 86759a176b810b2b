#!/usr/bin/env python3
"""Writes the program icon (.ico, 16 colours) from its text pixel maps."""
import struct
import sys

# The standard 16-colour palette, index 0-15, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
COLOUR_OF = {c: i for i, c in enumerate("0123456789ABCDEF")}
COLOUR_OF["K"] = 0  # black outline


def read_maps(path):
    maps, rows = [], None
    for line in open(path, encoding="ascii"):
        line = line.rstrip("\n")
        if not line or line.startswith("#"):
            continue
        if line.startswith("size "):
            rows = []
            maps.append((int(line.split()[1]), rows))
        else:
            rows.append(line)
    for size, rows in maps:
        if len(rows) != size or any(len(r) != size for r in rows):
            sys.exit(f"{path}: the {size}x{size} map is not {size} rows of {size}")
    return maps


def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def image(size, rows):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    colours, mask = b"", b""
    for row in reversed(rows):  # bitmaps run bottom-up
        indexes = [COLOUR_OF.get(c, 0) for c in row]
        colours += padded(bytes((indexes[i] << 4) | indexes[i + 1]
                                for i in range(0, size, 2)))
        bits = "".join("1" if c == "." else "0" for c in row)
        mask += padded(bytes(int(bits[i:i + 8], 2) for i in range(0, size, 8)))
    return header + palette + colours + mask


def main(source, target):
    maps = read_maps(source)
    images = [image(size, rows) for size, rows in maps]
    offset = 6 + 16 * len(images)
    out = struct.pack("<HHH", 0, 1, len(images))
    for (size, _), data in zip(maps, images):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(target, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
