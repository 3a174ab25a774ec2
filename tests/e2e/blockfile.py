"""The configuration block's layout, read and written independently of the
build tool, for both test trees: the end-to-end tests damage a built
executable's block on purpose, the build tool's tests check what the tool
wrote and write blocks as another writer might."""
import struct

MAGIC = 0xE8E413D5
MAGIC_BYTES = struct.pack("<I", MAGIC)

# The last section's SizeOfRawData, then its PointerToRawData: at 552 in a
# 32-bit (PE32) image, at 568 in a 64-bit (PE32+) one, whose optional header
# is 16 bytes longer. The optional header's magic tells them apart.
OPTIONAL_MAGIC_OFFSET = 0x98
LAST_SECTION_RAW_SIZE_OFFSET = 552
PE32_PLUS_LAST_SECTION_RAW_SIZE_OFFSET = 568


def block_start(data):
    """Where the last section's raw data ends: the block begins there."""
    pe32_plus = struct.unpack_from("<H", data, OPTIONAL_MAGIC_OFFSET)[0] == 0x20B
    raw_size, raw_pointer = struct.unpack_from(
        "<II", data, PE32_PLUS_LAST_SECTION_RAW_SIZE_OFFSET if pe32_plus else LAST_SECTION_RAW_SIZE_OFFSET)
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


def read_block(data):
    """(narrow, wide, end): lists of (key, raw bytes) and the offset after the block."""
    parts = layout(data)

    def records(kind):
        return [(record["key"], bytes(data[record["text"]:record["text"] + record["length"]]))
                for record in parts[kind]]

    return records("narrow"), records("wide"), parts["end"]


def write_block(narrow, wide):
    """Block bytes for lists of (key, raw bytes), as another writer might store them."""
    block = bytearray(MAGIC_BYTES)
    for records in (narrow, wide):
        block += struct.pack("<i", len(records))
        for key, value in records:
            block += struct.pack("<ii", key, len(value)) + value
    return bytes(block)
