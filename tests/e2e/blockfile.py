"""Reading the configuration block of a built executable, to damage it on purpose."""
import struct

MAGIC = 0xE8E413D5


def block_start(data):
    raw_size, raw_pointer = struct.unpack_from("<II", data, 552)
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
