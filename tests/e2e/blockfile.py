"""Reading the configuration block of a built executable, to damage it on purpose."""
import struct

MAGIC = 0xE8E413D5


def block_start(data):
    """Where the last section's raw data ends: its SizeOfRawData and
    PointerToRawData sit at 552 in a 32-bit (PE32) image, at 568 in a 64-bit
    (PE32+) one, whose optional header is 16 bytes longer."""
    pe32_plus = struct.unpack_from("<H", data, 0x98)[0] == 0x20B
    raw_size, raw_pointer = struct.unpack_from("<II", data, 568 if pe32_plus else 552)
    return raw_pointer + raw_size


def layout(data):
    """Offsets of the block's parts: magic, the two counts and every record."""
    at = block_start(data)
    assert struct.unpack_from("<I", data, at)[0] == MAGIC
    parts = {"magic": at, "narrow": [], "wide": []}
    at += 4
    for kind in ("narrow", "wide"):
        parts[kind + "_count"] = at
        count = struct.unpack_from("<i", data, at)[0]
        at += 4
        for _ in range(count):
            key, length = struct.unpack_from("<ii", data, at)
            parts[kind].append({"key": key, "at": at, "text": at + 8, "length": length})
            at += 8 + length
    parts["end"] = at
    return parts
