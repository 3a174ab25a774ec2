"""[build] architecture: the 64-bit stub (PE32+) by default, the 32-bit one
(PE32) on request; a stub of the other machine is refused; inspect shows the
architecture and finds the block of both layouts."""
import shutil
import struct

import pytest

OPTIONAL_HEADER = 0x98  # after the PE signature at 0x80 and the file header

X86 = '"x86" (32-bit x86)'
X64 = '"x64" (x86-64)'


def stub_file(path, make_stub, architecture, **change):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(make_stub(x64=architecture == "x64", **change))
    return path


@pytest.mark.parametrize("setting, stub_arch, problem", [
    ('architecture = "x64"\n', "x64", None),
    ('architecture = "x86"\n', "x86", None),
    ("", "x64", None),  # an explicit stub alone decides
    ("", "x86", None),
    ('architecture = "x64"\n', "x86", f"is a {X86} launcher, but the architecture to build is {X64}"),
    ('architecture = "x86"\n', "x64", f"is a {X64} launcher, but the architecture to build is {X86}"),
])
def test_an_explicit_stub_must_have_the_requested_architecture(tovex, make_stub, read_block, write_project,
                                                               tmp_path, setting, stub_arch, problem):
    stub = stub_file(tmp_path / "stubs" / "launcher.exe", make_stub, stub_arch)
    project = write_project("[build]\n" + setting)
    result = tovex.build(project, stub=stub)
    if problem:
        assert result.returncode == 1
        assert result.stderr.startswith(f"{project}:2:16: error: the stub {stub} ")
        assert problem in result.stderr
        assert not (tmp_path / "project.exe").exists()
        return
    assert result.returncode == 0, result.stderr
    exe = tmp_path / "project.exe"
    shown = tovex.inspect_json(exe)
    assert shown["architecture"] == stub_arch
    assert shown["blockOffset"] == len(make_stub(x64=stub_arch == "x64"))
    narrow, wide, _ = read_block(exe.read_bytes())  # found through the layout's own offsets
    assert (len(narrow), len(wide)) == (len(shown["narrow"]), len(shown["wide"])) != (0, 0)


@pytest.mark.parametrize("setting, chosen, arch", [
    ("", "launcher64.exe", "x64"),
    ('[build]\narchitecture = "x64"\n', "launcher64.exe", "x64"),
    ('[build]\narchitecture = "x86"\n', "launcher.exe", "x86"),
])
def test_the_default_stub_is_the_one_of_the_architecture(tovex_binary, tovex_at, make_stub, write_project,
                                                         tmp_path, setting, chosen, arch):
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    tool = tovex_at(shutil.copy(tovex_binary, bin_dir / "tovex"))
    project = write_project(setting)
    missing = tool.run("build", project, "--no-runtime-library")
    assert missing.returncode == 1
    assert f"stub not found: {bin_dir / chosen}" in missing.stderr

    stub_file(bin_dir / "launcher.exe", make_stub, "x86")
    stub_file(bin_dir / "launcher64.exe", make_stub, "x64")
    assert tool.run("build", project, "--no-runtime-library").returncode == 0
    assert tool.inspect_json(tmp_path / "project.exe")["architecture"] == arch


def test_a_default_stub_of_the_wrong_machine_is_refused(tovex_binary, tovex_at, make_stub, write_project, tmp_path):
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    tool = tovex_at(shutil.copy(tovex_binary, bin_dir / "tovex"))
    stub = stub_file(bin_dir / "launcher64.exe", make_stub, "x86")
    result = tool.run("build", write_project(""), "--no-runtime-library")
    assert result.returncode == 1
    assert result.stderr.startswith(f"{stub}: error: the stub {stub} is a {X86} launcher, but the architecture "
                                    f"to build is {X64} (the default; choose one with [build] architecture)")


@pytest.mark.parametrize("value, got", [('"arm64"', '"arm64"'), ('"X64"', '"X64"'), ("64", "an integer")])
def test_an_unknown_architecture_is_an_error(tovex, stub, write_project, value, got):
    project = write_project(f"[build]\narchitecture = {value}\n")
    result = tovex.build(project, stub=stub)
    assert result.returncode == 1
    assert f'{project}:2:16: error: [build] architecture: expected "x64" or "x86", got {got}' in result.stderr


BAD_64_BIT_STUBS = [
    # (id, make_stub keywords or a change to the bytes, expected problem)
    ("pe32-header-size", {"optional_header_size": 224}, "optional header size is 224, expected 240"),
    ("other-64-bit-machine", {"machine": 0xAA64}, "machine type is 0xAA64, expected 0x8664 (x86-64)"),
    ("too-short-for-pe32-plus-headers", lambda stub: stub[:580],
     "file too short to hold the PE headers: 580 bytes, need at least 592"),
    ("reloc-last", {"section_names": (b".text", b".rdata", b".data", b".rsrc", b".reloc")},
     "the last section is '.reloc', expected '.rsrc'"),
    ("bytes-after-last-section", lambda stub: stub + b"\0" * 16,
     "the last section's raw data ends at offset 3584 (PointerToRawData 0xC00 + SizeOfRawData 0x200), "
     "but the file is 3600 bytes"),
]


@pytest.mark.parametrize("change, problem", [case[1:] for case in BAD_64_BIT_STUBS],
                         ids=[case[0] for case in BAD_64_BIT_STUBS])
def test_build_refuses_a_64_bit_stub_without_the_launcher_layout(tovex, write_project, make_stub, tmp_path, change,
                                                                 problem):
    stub = tmp_path / "launcher64.exe"
    stub.write_bytes(make_stub(x64=True, **change) if isinstance(change, dict) else change(make_stub(x64=True)))
    result = tovex.build(write_project('applicationName = "A"\n'), stub=stub)
    assert result.returncode == 1
    assert result.stderr.startswith(f"{stub}: error: not a usable launcher stub: ")
    assert problem in result.stderr


def test_resources_of_a_64_bit_stub_are_rebuilt_in_its_own_data_directory(tovex, make_stub, write_project, tmp_path):
    stub = stub_file(tmp_path / "launcher64.exe", make_stub, "x64")
    project = write_project('[resources.version]\nfileVersion = "2.1.0.7"\n')
    result = tovex.build(project, stub=stub)
    assert result.returncode == 0, result.stderr
    exe = (tmp_path / "project.exe").read_bytes()
    # PE32+ data directory 2 (resources) at 112 + 16 from the optional header's start.
    rva, size = struct.unpack_from("<II", exe, OPTIONAL_HEADER + 112 + 16)
    assert (rva, size != 0) == (0x5000, True)
    shown = tovex.inspect_json(tmp_path / "project.exe")
    assert shown["architecture"] == "x64"
    assert [r["typeName"] for r in shown["resources"]] == ["RT_VERSION"]
