"""Stubs without the launcher's layout are refused by build; damaged
application executables are reported by inspect, saying what and where."""
import struct

import pytest

from .harness import at

BAD_STUBS = [
    # (id, make_stub keywords or a change to the bytes, expected problem)
    ("no-mz", {"dos_magic": b"ZM"}, "not a PE file: no 'MZ' signature at offset 0"),
    ("pe-header-elsewhere", {"lfanew": 0x90}, "PE header offset (e_lfanew at 0x3C) is 0x90, expected 0x80"),
    ("no-pe-signature", {"signature": b"NE\0\0"}, "no 'PE\\0\\0' signature at offset 0x80"),
    ("64-bit-machine", {"machine": 0x8664}, "machine type is 0x8664, expected 0x14C (32-bit x86)"),
    ("four-sections", {"section_names": (b".text", b".rdata", b".data", b".rsrc")},
     "the image has 4 sections, expected 5"),
    ("six-sections", {"section_names": (b".text", b".rdata", b".data", b".pdata", b".reloc", b".rsrc")},
     "the image has 6 sections, expected 5"),
    ("bigger-optional-header", {"optional_header_size": 240}, "optional header size is 240, expected 224"),
    ("pe32-plus", {"optional_magic": 0x20B}, "optional header magic is 0x20B (PE32+, 64-bit), expected 0x10B (PE32)"),
    ("reloc-last", {"section_names": (b".text", b".rdata", b".data", b".rsrc", b".reloc")},
     "the last section is '.reloc', expected '.rsrc'"),
    ("bytes-after-last-section", lambda stub: stub + b"\0" * 16,
     "the last section's raw data ends at offset 3584 (PointerToRawData 0xC00 + SizeOfRawData 0x200), "
     "but the file is 3600 bytes; a stub must end exactly where its last section ends"),
    ("last-section-cut-short", lambda stub: stub[:-1], "but the file is 3583 bytes"),
    ("too-short-for-headers", lambda stub: stub[:300], "file too short to hold the PE headers: 300 bytes, need at least 576"),
]


@pytest.mark.parametrize("change, problem", [case[1:] for case in BAD_STUBS],
                         ids=[case[0] for case in BAD_STUBS])
def test_build_refuses_a_stub_without_the_launcher_layout(tovex, write_project, make_stub, tmp_path, change, problem):
    stub = tmp_path / "launcher.exe"
    stub.write_bytes(make_stub(**change) if isinstance(change, dict) else change(make_stub()))
    result = tovex.build(write_project('applicationName = "A"\n'), stub=stub)
    assert result.returncode == 1
    assert result.stderr.startswith(f"{stub}: error: not a usable launcher stub: ")
    assert problem in result.stderr
    assert not (tmp_path / "project.exe").exists()


BLOCK = 3584  # where the default fake stub ends
FIRST_RECORD = BLOCK + 8
NARROW_COUNT = 13  # applicationName and the twelve messages


def set_i32(offset, value):
    def change(data):
        struct.pack_into("<i", data, offset, value)
        return data
    return change


def cut_at(offset):
    return lambda data: data[:offset]


DAMAGE = [
    # (id, change to a good executable's bytes, expected message)
    ("not-a-pe", lambda data: bytearray(b"just some text\n"), "not a PE file: no 'MZ' signature at offset 0"),
    ("too-short-for-offsets", cut_at(560), "file too short to hold the PE headers: 560 bytes, need at least 576"),
    ("header-damaged", set_i32(0x84, 0x8664), "machine type is 0x8664, expected 0x14C"),
    ("cut-inside-last-section", cut_at(3000),
     "no configuration block: the last section ends at offset 3584, past the end of the file (3000 bytes)"),
    ("no-block-at-all", cut_at(BLOCK), f"no configuration block: expected magic D5 13 E4 E8 at offset {at(BLOCK)}, "
                                       "but the file ends there"),
    ("wrong-magic", set_i32(BLOCK, 0x00E413D5),
     f"no configuration block: expected magic D5 13 E4 E8 at offset {at(BLOCK)}, found D5 13 E4 00"),
    ("cut-inside-narrow-count", cut_at(BLOCK + 6),
     f"narrow record count at offset {at(BLOCK + 4)} is cut off by the end of the file (2 of 4 bytes present)"),
    ("negative-narrow-count", set_i32(BLOCK + 4, -1), f"negative narrow record count (-1) at offset {at(BLOCK + 4)}"),
    ("cut-inside-record-header", cut_at(FIRST_RECORD + 5),
     f"narrow record 1 of {NARROW_COUNT} at offset {at(FIRST_RECORD)} is cut off by the end of the file: "
     "its key and length need 8 bytes, 5 bytes left"),
    ("cut-inside-record-value", cut_at(FIRST_RECORD + 8 + 2),
     f"narrow record 1 of {NARROW_COUNT} (key 101) at offset {at(FIRST_RECORD)} is cut off by the end of the file: "
     "its value needs 3 bytes, 2 bytes left"),
    ("negative-length", set_i32(FIRST_RECORD + 4, -5),
     f"narrow record 1 of {NARROW_COUNT} (key 101) at offset {at(FIRST_RECORD)} has a negative length (-5)"),
    ("count-far-too-big", set_i32(BLOCK + 4, 0x7FFFFFFF), "of 2147483647"),
]


@pytest.fixture
def good_exe(tovex, write_project, stub, tmp_path):
    project = write_project('applicationName = "App"\n[raw.wide]\n"5000" = "w"\n')
    assert tovex.build(project, stub=stub).returncode == 0
    return tmp_path / "project.exe"


@pytest.mark.parametrize("damage, message", [case[1:] for case in DAMAGE], ids=[case[0] for case in DAMAGE])
def test_inspect_reports_damage_and_where(tovex, good_exe, damage, message):
    good_exe.write_bytes(bytes(damage(bytearray(good_exe.read_bytes()))))
    for json_flag in ([], ["--json"]):
        result = tovex.run("inspect", good_exe, *json_flag)
        assert result.returncode == 1
        assert result.stdout == ""
        assert result.stderr.startswith(f"{good_exe}: error: ")
        assert message in result.stderr


def test_inspect_reports_a_cut_inside_the_wide_count(tovex, good_exe, read_block):
    data = good_exe.read_bytes()
    narrow, _, _ = read_block(data)
    wide_count_at = BLOCK + 8 + sum(8 + len(value) for _, value in narrow)
    good_exe.write_bytes(data[:wide_count_at + 3])
    result = tovex.run("inspect", good_exe)
    assert result.returncode == 1
    assert f"wide record count at offset {at(wide_count_at)} is cut off by the end of the file" in result.stderr


def test_inspect_of_a_missing_file(tovex, tmp_path):
    result = tovex.run("inspect", tmp_path / "absent.exe")
    assert result.returncode == 1
    assert f"{tmp_path / 'absent.exe'}: error: cannot read: no such file" in result.stderr
