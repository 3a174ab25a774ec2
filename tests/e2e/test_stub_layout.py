"""The launcher stubs' PE layout, which the configuration block relies on: the
32-bit stub (PE32) and the 64-bit one (PE32+), whose bigger optional header
moves the last section's SizeOfRawData and PointerToRawData from file offsets
552 and 556 to 568 and 572."""
import struct
import subprocess

import pytest

from harness import STUBS

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll",
               "msvcrt.dll", "ole32.dll", "comctl32.dll"}

# architecture: (machine, optional header size, magic, offset of the last section's raw size, objdump)
LAYOUTS = {
    "x86": (0x14C, 224, 0x10B, 552, "i686-w64-mingw32-objdump"),
    "x64": (0x8664, 240, 0x20B, 568, "x86_64-w64-mingw32-objdump"),
}


@pytest.fixture(scope="module", params=sorted(LAYOUTS))
def layout(request):
    return request.param, LAYOUTS[request.param]


@pytest.fixture(scope="module")
def stub_path(layout):
    path = STUBS[layout[0]]
    if not path.exists():
        pytest.skip(f"dist/{path.name} is built by `make`")
    return path


@pytest.fixture(scope="module")
def stub(stub_path):
    return stub_path.read_bytes()


def sections(data):
    """(name, virtual address, virtual size, raw pointer, raw size) of each section header."""
    count, optional_header_size = struct.unpack_from("<H", data, 0x86)[0], struct.unpack_from("<H", data, 0x94)[0]
    table = 0x80 + 24 + optional_header_size
    return [(name.rstrip(b"\0").decode(), vaddr, vsize, rawptr, rawsize)
            for name, vsize, vaddr, rawsize, rawptr in struct.iter_unpack("<8sIIII16x", data[table:table + 40 * count])]


def test_pe_header_is_where_the_block_offsets_expect_it(stub, layout):
    machine_wanted, optional_size, magic, _, _ = layout[1]
    assert stub[:2] == b"MZ"
    assert struct.unpack_from("<I", stub, 0x3C)[0] == 0x80
    assert stub[0x80:0x84] == b"PE\0\0"
    machine, count = struct.unpack_from("<HH", stub, 0x84)
    assert machine == machine_wanted
    assert count == 5
    assert struct.unpack_from("<H", stub, 0x94)[0] == optional_size
    assert struct.unpack_from("<H", stub, 0x98)[0] == magic
    subsystem = struct.unpack_from("<H", stub, 0x98 + 68)[0]
    assert subsystem == 2  # Windows GUI


def test_resource_section_is_last_and_ends_the_file(stub, layout):
    table = sections(stub)
    assert [s[0] for s in table] == [".text", ".data", ".rdata", ".idata", ".rsrc"]
    raw_size, raw_pointer = struct.unpack_from("<II", stub, layout[1][3])
    assert (raw_pointer, raw_size) == (table[-1][3], table[-1][4])
    assert raw_pointer + raw_size == len(stub)


def test_resources_hold_a_version_resource(stub):
    name, vaddr, vsize, rawptr, rawsize = sections(stub)[-1]
    count_named, count_ids = struct.unpack_from("<HH", stub, rawptr + 12)
    ids = [struct.unpack_from("<I", stub, rawptr + 16 + 8 * i)[0]
           for i in range(count_named, count_named + count_ids)]
    assert 16 in ids  # RT_VERSION


def test_imports_name_system_dlls_only(stub_path, layout):
    dump = subprocess.run([layout[1][4], "-p", str(stub_path)], capture_output=True,
                          text=True, check=True).stdout
    dlls = {line.split(":", 1)[1].strip().lower() for line in dump.splitlines()
            if "DLL Name:" in line}
    assert dlls
    assert dlls <= SYSTEM_DLLS, dlls - SYSTEM_DLLS
