#!/usr/bin/env python3
"""Writes the example's splash picture (splash.bmp: 256 x 86 pixels, 8 bits per
pixel, the size of splashWidth x splashHeight in hello.toml) and its icon
(hello.ico: 16 x 16 and 32 x 32, 32 bits per pixel). Both files are committed;
run this again only to change them."""
import struct
from pathlib import Path

HERE = Path(__file__).resolve().parent


def splash_bmp(width=256, height=86):
    # A palette running from deep blue to pale teal, and a white disc on the left.
    palette = b"".join(struct.pack("<BBBB", 110 + i * 145 // 255, 40 + i * 200 // 255, 20 + i * 180 // 255, 0)
                       for i in range(255)) + struct.pack("<BBBB", 255, 255, 255, 0)
    stride = (width + 3) & ~3
    rows = []
    for y in range(height):  # top row first; reversed below
        row = bytearray(stride)
        for x in range(width):
            shade = min(254, (x * 160 // width) + (y * 90 // height))
            if (x - 43) ** 2 + (y - 36) ** 2 <= 24 ** 2:
                shade = 255
            row[x] = shade
        rows.append(bytes(row))
    pixels = b"".join(reversed(rows))
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    offset = 14 + len(header) + len(palette)
    return struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset) + header + palette + pixels


def icon_image(size):
    rows = []
    for y in range(size):
        row = bytearray()
        for x in range(size):
            inside = (x - size / 2 + 0.5) ** 2 + (y - size / 2 + 0.5) ** 2 <= (size / 2 - 1) ** 2
            row += bytes((200, 120, 40, 255)) if inside else bytes(4)  # blue, green, red, alpha
        rows.append(bytes(row))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    mask = bytes((size + 31) // 32 * 4 * size)
    return header + b"".join(reversed(rows)) + mask


def hello_ico(sizes=(16, 32)):
    images = [icon_image(size) for size in sizes]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return bytes(out + b"".join(images))


if __name__ == "__main__":
    (HERE / "splash.bmp").write_bytes(splash_bmp())
    (HERE / "hello.ico").write_bytes(hello_ico())
