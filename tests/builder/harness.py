"""What the build tool's tests share: locating and running the tool, fake
launcher stubs, jars, and small pictures, icons and resource sections written
and read with struct and zlib alone. The independent reader and writer of the
block are the end-to-end tests' blockfile.py. The fixtures built on these are
in conftest.py."""
import json
import pathlib
import struct
import subprocess
import sys
import zipfile
import zlib

REPO = pathlib.Path(__file__).resolve().parents[2]
# The block's layout has one reader and writer for both test trees: the
# end-to-end tests' blockfile.py.
sys.path.insert(0, str(REPO / "tests" / "e2e"))
from blockfile import read_block, write_block  # noqa: E402,F401  (fixtures in conftest.py)

# --- fake stubs -------------------------------------------------------------
# Byte-valid PE32 header images with the layout the tool requires: five
# sections, the last one .rsrc, whose raw data ends the file. Never run, so
# the sections hold filler bytes.
PE_OFFSET = 0x80
FILE_HEADER = PE_OFFSET + 4
OPTIONAL_HEADER = FILE_HEADER + 20
HEADERS_SIZE = 0x400
SECTION_NAMES = (b".text", b".rdata", b".data", b".reloc", b".rsrc")


def make_stub(*, x64=False, rsrc_size=0x200, machine=None, section_names=SECTION_NAMES, optional_header_size=None,
              optional_magic=None, lfanew=PE_OFFSET, signature=b"PE\0\0", dos_magic=b"MZ"):
    """Stub bytes, 32-bit (PE32) or with x64=True 64-bit (PE32+); each other
    keyword can break one layout rule."""
    machine = machine if machine is not None else (0x8664 if x64 else 0x14C)
    optional_header_size = optional_header_size if optional_header_size is not None else (240 if x64 else 224)
    optional_magic = optional_magic if optional_magic is not None else (0x20B if x64 else 0x10B)
    raw_sizes = [0x200] * (len(section_names) - 1) + [rsrc_size]
    image = bytearray(HEADERS_SIZE)
    image[0:2] = dos_magic
    struct.pack_into("<I", image, 0x3C, lfanew)
    image[PE_OFFSET:PE_OFFSET + 4] = signature
    struct.pack_into("<HHIIIHH", image, FILE_HEADER, machine, len(section_names), 0, 0, 0,
                     optional_header_size, 0x0102)
    # The optional header fields a loader looks at first; the rest stay zero.
    struct.pack_into("<HBB", image, OPTIONAL_HEADER, optional_magic, 14, 0)
    if x64:
        struct.pack_into("<Q", image, OPTIONAL_HEADER + 24, 0x140000000)  # ImageBase
    else:
        struct.pack_into("<I", image, OPTIONAL_HEADER + 28, 0x400000)  # ImageBase
    struct.pack_into("<II", image, OPTIONAL_HEADER + 32, 0x1000, 0x200)  # section / file alignment
    struct.pack_into("<I", image, OPTIONAL_HEADER + 56, 0x1000 * (len(section_names) + 1))  # SizeOfImage
    struct.pack_into("<I", image, OPTIONAL_HEADER + 60, HEADERS_SIZE)  # SizeOfHeaders
    struct.pack_into("<H", image, OPTIONAL_HEADER + 68, 2)  # Subsystem: Windows GUI
    struct.pack_into("<I", image, OPTIONAL_HEADER + (108 if x64 else 92), 16)  # NumberOfRvaAndSizes

    section_table = OPTIONAL_HEADER + optional_header_size
    raw_pointer = HEADERS_SIZE
    for index, (name, raw_size) in enumerate(zip(section_names, raw_sizes)):
        struct.pack_into("<8sIIII", image, section_table + index * 40,
                         name, raw_size, 0x1000 * (index + 1), raw_size, raw_pointer)
        raw_pointer += raw_size
    for index, raw_size in enumerate(raw_sizes):
        image += bytes([0xC0 + index]) * raw_size
    return bytes(image)


def at(offset):
    """An offset as the tool's messages give it: decimal, then hexadecimal."""
    return f"{offset} ({offset:#X})".replace("0X", "0x")


def make_jar(path, main_class=None, *, compress=True):
    """A jar holding com.example.Main and main_class, whose manifest names main_class (none: no Main-Class)."""
    path.parent.mkdir(parents=True, exist_ok=True)
    manifest = "Manifest-Version: 1.0\r\n"
    if main_class:
        # Manifest lines hold at most 72 bytes; longer values go on after a blank.
        line = f"Main-Class: {main_class}"
        manifest += line[:70] + "\r\n" + "".join(f" {line[i:i + 69]}\r\n" for i in range(70, len(line), 69))
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED if compress else zipfile.ZIP_STORED) as jar:
        jar.writestr("META-INF/MANIFEST.MF", manifest + "\r\n")
        jar.writestr("com/example/Main.class", b"\xca\xfe\xba\xbe")
        if main_class and main_class != "com.example.Main":
            jar.writestr(main_class.replace(".", "/") + ".class", b"\xca\xfe\xba\xbe")
    return path


# --- running the tool -------------------------------------------------------
class Tovex:
    def __init__(self, binary):
        self.binary = binary

    def run(self, *args, cwd=None, timeout=None):
        """A timeout turns a tool that blocks into a failed test."""
        return subprocess.run([str(self.binary), *map(str, args)], cwd=cwd, capture_output=True,
                              text=True, encoding="utf-8", timeout=timeout)

    def build(self, project, *args, stub=None, runtime_library=False, plain=True, timeout=None):
        """Builds without the Java runtime library and, with --plain, without
        the defaults and checks of a user's build, unless asked: the block and
        the included files then hold just what the project gives."""
        extra = ["--stub", stub] if stub else []
        if not runtime_library:
            extra.append("--no-runtime-library")
        if plain:
            extra.append("--plain")
        return self.run("build", project, *extra, *args, timeout=timeout)

    def inspect_json(self, exe, *args):
        result = self.run("inspect", "--json", exe, *args)
        assert result.returncode == 0, result.stderr
        return json.loads(result.stdout)


RT_BITMAP, RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 2, 3, 14, 16, 24


# --- pictures and icons ---------------------------------------------------------
def pixel(x, y):
    """A recognisable colour for each position: (blue, green, red)."""
    return (x * 7) & 0xFF, (y * 13) & 0xFF, (x + y) & 0xFF


def make_dib(width, height, bits=24, *, top_down=False, colours=None):
    """A packed DIB: BITMAPINFOHEADER, colour table, rows (bottom row first unless top_down)."""
    palette = b""
    if bits <= 8:
        count = colours or (1 << bits)
        palette = b"".join(struct.pack("<BBBB", i, 255 - i, i // 2, 0) for i in range(count))
    stride = (width * bits + 31) // 32 * 4
    rows = []
    for y in range(height):
        if bits == 8:
            row = bytes((x + y) & 0xFF for x in range(width))
        elif bits == 24:
            row = b"".join(bytes(pixel(x, y)) for x in range(width))
        else:  # 32
            row = b"".join(bytes(pixel(x, y)) + b"\xff" for x in range(width))
        rows.append(row.ljust(stride, b"\0"))
    if not top_down:
        rows.reverse()
    header = struct.pack("<IiiHHIIiiII", 40, width, -height if top_down else height, 1, bits, 0,
                         stride * height, 2835, 2835, colours or 0, 0)
    return header + palette + b"".join(rows)


def make_bmp(width, height, bits=24, *, top_down=False, gap=0):
    """A BMP file; `gap` bytes of filler between the colour table and the pixels."""
    dib = make_dib(width, height, bits, top_down=top_down)
    pixels_at = 40 + (4 << bits if bits <= 8 else 0)
    body = dib[:pixels_at] + b"\xee" * gap + dib[pixels_at:]
    return struct.pack("<2sIHHI", b"BM", 14 + len(body), 0, 0, 14 + pixels_at + gap) + body


def make_png(width, height, *, alpha=False):
    """An 8-bit RGB (or RGBA, left half transparent) PNG with the colours of pixel()."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            blue, green, red = pixel(x, y)
            raw += bytes((red, green, blue))
            if alpha:
                raw.append(0 if x < width // 2 else 255)
    header = struct.pack(">IIBBBBB", width, height, 8, 6 if alpha else 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw)))
            + chunk(b"IEND", b""))


def icon_image(size):
    """A 32-bit icon image: the DIB with doubled height and an AND mask."""
    dib = bytearray(make_dib(size, size, 32))
    struct.pack_into("<i", dib, 8, size * 2)
    return bytes(dib) + bytes((size + 31) // 32 * 4 * size)


def make_ico(images):
    """An .ico file of (width, height, image bytes)."""
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for width, height, data in images:
        out += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    return bytes(out)


def make_icon_file(sizes=(16, 32)):
    return make_ico([(size, size, icon_image(size)) for size in sizes])


# --- resource sections ------------------------------------------------------
def resource_section(resources, section_rva):
    """A resource section for {(type, name, language): data}; names are ints or str."""
    def order(key):
        return (0, key) if isinstance(key, str) else (1, key)

    tree = {}
    for (rtype, name, language), data in resources.items():
        tree.setdefault(rtype, {}).setdefault(name, {})[language] = data

    def dir_size(entries):
        return 16 + 8 * entries

    offset = dir_size(len(tree))
    type_dirs, name_dirs = {}, {}
    for rtype in sorted(tree, key=order):
        type_dirs[rtype] = offset
        offset += dir_size(len(tree[rtype]))
    for rtype in sorted(tree, key=order):
        for name in sorted(tree[rtype], key=order):
            name_dirs[rtype, name] = offset
            offset += dir_size(len(tree[rtype][name]))
    strings = {}
    for rtype in tree:
        for key in [rtype, *tree[rtype]]:
            if isinstance(key, str) and key not in strings:
                strings[key] = offset
                offset += 2 + 2 * len(key)
    offset = (offset + 3) & ~3
    leaves = [(rtype, name, lang) for rtype in sorted(tree, key=order)
              for name in sorted(tree[rtype], key=order) for lang in sorted(tree[rtype][name])]
    entries = {}
    for leaf in leaves:
        entries[leaf] = offset
        offset += 16
    data_at = {}
    for leaf in leaves:
        offset = (offset + 3) & ~3
        data_at[leaf] = offset
        offset += len(resources[leaf])
    out = bytearray(offset)

    def write_dir(at, items):
        named = sum(isinstance(key, str) for key, _ in items)
        struct.pack_into("<IIHHHH", out, at, 0, 0, 0, 0, named, len(items) - named)
        for i, (key, target) in enumerate(items):
            name_field = strings[key] | 0x80000000 if isinstance(key, str) else key
            struct.pack_into("<II", out, at + 16 + 8 * i, name_field, target)

    write_dir(0, [(t, type_dirs[t] | 0x80000000) for t in sorted(tree, key=order)])
    for rtype in tree:
        write_dir(type_dirs[rtype], [(n, name_dirs[rtype, n] | 0x80000000) for n in sorted(tree[rtype], key=order)])
        for name in tree[rtype]:
            write_dir(name_dirs[rtype, name], [(lang, entries[rtype, name, lang])
                                               for lang in sorted(tree[rtype][name])])
    for text, at in strings.items():
        struct.pack_into("<H", out, at, len(text))
        out[at + 2:at + 2 + 2 * len(text)] = text.encode("utf-16-le")
    for leaf in leaves:
        struct.pack_into("<IIII", out, entries[leaf], section_rva + data_at[leaf], len(resources[leaf]), 0, 0)
        out[data_at[leaf]:data_at[leaf] + len(resources[leaf])] = resources[leaf]
    return bytes(out)


RSRC_RVA = 0x5000  # the fake stub's last section
RESOURCE_ENTRY = OPTIONAL_HEADER + 96 + 2 * 8


def make_stub_with_resources(resources):
    """A fake stub whose .rsrc section holds these resources."""
    section = resource_section(resources, RSRC_RVA)
    raw_size = (len(section) + 0x1FF) & ~0x1FF
    image = bytearray(make_stub(rsrc_size=raw_size))
    start = HEADERS_SIZE + 4 * 0x200
    image[start:start + len(section)] = section
    image[start + len(section):] = bytes(raw_size - len(section))
    struct.pack_into("<II", image, RESOURCE_ENTRY, RSRC_RVA, len(section))
    return bytes(image)


def section_table(image):
    """The section headers of a fake stub: name, sizes and places of each."""
    count, optional_header_size = struct.unpack_from("<H", image, 0x86)[0], struct.unpack_from("<H", image, 0x94)[0]
    table = 0x80 + 24 + optional_header_size
    return [{"name": name.rstrip(b"\0").decode(), "vaddr": vaddr, "vsize": vsize,
             "rawptr": rawptr, "rawsize": rawsize}
            for name, vsize, vaddr, rawsize, rawptr in struct.iter_unpack("<8sIIII16x", image[table:table + 40 * count])]


def read_resources(image):
    """{(type, name, language): data} of an image, read through its data directory."""
    rva, size = struct.unpack_from("<II", image, RESOURCE_ENTRY)
    if rva == 0:
        return {}
    rsrc = next(s for s in section_table(image) if s["vaddr"] <= rva < s["vaddr"] + s["rawsize"])
    base = rsrc["rawptr"] + rva - rsrc["vaddr"]

    def key(field):
        if field & 0x80000000:
            at = base + (field & 0x7FFFFFFF)
            (length,) = struct.unpack_from("<H", image, at)
            return image[at + 2:at + 2 + 2 * length].decode("utf-16-le")
        return field

    def walk(at, path):
        named, ids = struct.unpack_from("<HH", image, base + at + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", image, base + at + 16 + 8 * i)
            if target & 0x80000000:
                yield from walk(target & 0x7FFFFFFF, path + (key(name),))
            else:
                data_rva, data_size = struct.unpack_from("<II", image, base + target)
                start = rsrc["rawptr"] + data_rva - rsrc["vaddr"]
                yield path + (key(name),), bytes(image[start:start + data_size])

    return dict(walk(0, ()))


def version_strings(data):
    """The StringFileInfo texts and the fixed file and product versions of a VS_VERSIONINFO."""
    texts = {}
    fixed_at = (6 + len("VS_VERSION_INFO\0") * 2 + 3) & ~3
    signature, _, fms, fls, pms, pls = struct.unpack_from("<IIIIII", data, fixed_at)
    assert signature == 0xFEEF04BD

    def parse(at, depth):
        length, value_length, kind = struct.unpack_from("<HHH", data, at)
        end = at + length
        name_end = data.index(b"\0\0", at + 6)
        while (name_end - at - 6) % 2:
            name_end = data.index(b"\0\0", name_end + 1)
        name = data[at + 6:name_end].decode("utf-16-le")
        value_at = (name_end + 2 + 3) & ~3
        if depth == 3:
            texts[name] = data[value_at:value_at + 2 * value_length].decode("utf-16-le").rstrip("\0")
            return
        child = value_at + (value_length if kind == 0 else 2 * value_length)
        while child < end:
            child = (child + 3) & ~3
            if child >= end:
                break
            parse(child, depth + 1)
            child += struct.unpack_from("<H", data, child)[0]

    parse(0, 0)
    split = lambda ms, ls: (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)  # noqa: E731
    return texts, split(fms, fls), split(pms, pls)


# --- the fake stub with resources of its own -------------------------------
EN_US = 0x409
MANIFEST = b'<?xml version="1.0"?><assembly manifestVersion="1.0"/>'
STUB_VERSION = b"stub version"  # not parsed by anyone: only its replacement matters
STUB_RESOURCES = {
    (RT_VERSION, 1, EN_US): STUB_VERSION,
    (RT_MANIFEST, 1, EN_US): MANIFEST,
    (RT_ICON, 1, EN_US): icon_image(16),
    # A named group that sorts before ID_SPLASH_ICON: Explorer would show it.
    (RT_GROUP_ICON, "APPICON", EN_US): struct.pack("<HHHBBBBHHIH", 0, 1, 1, 16, 16, 0, 0, 1, 32, 1128, 1),
}
