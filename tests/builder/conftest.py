"""Shared helpers for the build tool's tests: locating the tool, fake
launcher stubs, project files, and an independent reader of the block."""
import json
import os
import pathlib
import struct
import subprocess
import textwrap
import zipfile

import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]
MAGIC = bytes.fromhex("D513E4E8")

# --- fake stubs -------------------------------------------------------------
# Byte-valid PE32 header images with the layout the tool requires: five
# sections, the last one .rsrc, whose raw data ends the file. Never run, so
# the sections hold filler bytes.
PE_OFFSET = 0x80
FILE_HEADER = PE_OFFSET + 4
OPTIONAL_HEADER = FILE_HEADER + 20
HEADERS_SIZE = 0x400
SECTION_NAMES = (b".text", b".rdata", b".data", b".reloc", b".rsrc")
LAST_SECTION_RAW_SIZE_OFFSET = 552
LAST_SECTION_RAW_POINTER_OFFSET = 556
# A 64-bit (PE32+) stub: a bigger optional header moves the fields 16 bytes on.
PE32_PLUS_LAST_SECTION_RAW_SIZE_OFFSET = 568


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


# --- reading what the tool wrote, without the tool -------------------------
def block_offset(image):
    pe32_plus = struct.unpack_from("<H", image, OPTIONAL_HEADER)[0] == 0x20B
    size, pointer = struct.unpack_from(
        "<II", image, PE32_PLUS_LAST_SECTION_RAW_SIZE_OFFSET if pe32_plus else LAST_SECTION_RAW_SIZE_OFFSET)
    return size + pointer


def read_block(image):
    """(narrow, wide, end): lists of (key, raw bytes) and the offset after the block."""
    offset = block_offset(image)
    assert image[offset:offset + 4] == MAGIC
    offset += 4
    lists = []
    for _ in range(2):
        (count,) = struct.unpack_from("<i", image, offset)
        offset += 4
        records = []
        for _ in range(count):
            key, length = struct.unpack_from("<ii", image, offset)
            records.append((key, bytes(image[offset + 8:offset + 8 + length])))
            offset += 8 + length
        lists.append(records)
    return lists[0], lists[1], offset


def write_block(narrow, wide):
    """Block bytes for lists of (key, raw bytes), as another writer might store them."""
    block = bytearray(MAGIC)
    for records in (narrow, wide):
        block += struct.pack("<i", len(records))
        for key, value in records:
            block += struct.pack("<ii", key, len(value)) + value
    return bytes(block)


def make_jar(path, main_class=None, *, compress=True):
    """A jar whose manifest names main_class (none: no Main-Class)."""
    path.parent.mkdir(parents=True, exist_ok=True)
    manifest = "Manifest-Version: 1.0\r\n"
    if main_class:
        # Manifest lines hold at most 72 bytes; longer values go on after a blank.
        line = f"Main-Class: {main_class}"
        manifest += line[:70] + "\r\n" + "".join(f" {line[i:i + 69]}\r\n" for i in range(70, len(line), 69))
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED if compress else zipfile.ZIP_STORED) as jar:
        jar.writestr("META-INF/MANIFEST.MF", manifest + "\r\n")
        jar.writestr("com/example/Main.class", b"\xca\xfe\xba\xbe")
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


@pytest.fixture(scope="session")
def tovex_binary():
    # Absolute, since some tests run the tool from another directory.
    path = pathlib.Path(os.environ.get("TOVEX_BIN", REPO / "dist" / "tovex")).resolve()
    if not path.is_file():
        pytest.skip(f"build tool not found at {path}: build it first (or point TOVEX_BIN at it)")
    return path


@pytest.fixture
def tovex(tovex_binary):
    return Tovex(tovex_binary)


@pytest.fixture
def tovex_at():
    """Runs a copy of the tool placed elsewhere."""
    return Tovex


@pytest.fixture(name="make_stub")
def make_stub_fixture():
    """The stub maker, for tests that need a particular layout."""
    return make_stub


@pytest.fixture(name="read_block")
def read_block_fixture():
    """The independent block reader."""
    return read_block


@pytest.fixture(name="write_block")
def write_block_fixture():
    """The independent block writer."""
    return write_block


@pytest.fixture
def stub(tmp_path):
    path = tmp_path / "launcher.exe"
    path.write_bytes(make_stub())
    return path


@pytest.fixture
def write_project(tmp_path):
    def write(text, name="project.toml"):
        path = tmp_path / name
        path.write_text(textwrap.dedent(text), encoding="utf-8")
        return path
    return write
