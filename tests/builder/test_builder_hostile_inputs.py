"""Inputs made to exhaust the build tool: resource directories that share or
loop, and input files that are devices or pipes. Each is refused with a
clear error instead of taking all memory or blocking."""
import os
import struct

import pytest

from .harness import STUB_RESOURCES, make_stub_with_resources, section_table

ROOT_ENTRIES = 16  # the root directory's header, then its entries


def stub_with_root_entry(tmp_path, entry, target):
    """The resource stub with the root's `entry`-th entry pointing at `target`."""
    image = bytearray(make_stub_with_resources(STUB_RESOURCES))
    rsrc = section_table(image)[-1]
    struct.pack_into("<I", image, rsrc["rawptr"] + ROOT_ENTRIES + 8 * entry + 4, target)
    path = tmp_path / "hostile-stub.exe"
    path.write_bytes(bytes(image))
    return path, rsrc


@pytest.mark.parametrize("shape", ["shared", "looping"])
def test_a_shared_or_looping_resource_directory_is_refused(tovex, write_project, tmp_path, shape):
    image = make_stub_with_resources(STUB_RESOURCES)
    rsrc = section_table(image)[-1]
    first_type = struct.unpack_from("<I", image, rsrc["rawptr"] + ROOT_ENTRIES + 4)[0]
    target = first_type if shape == "shared" else 0x80000000  # the root itself
    stub, _ = stub_with_root_entry(tmp_path, 1, target)
    project = write_project('[resources.version]\nfileVersion = "1"\n')
    result = tovex.build(project, "-o", tmp_path / "out.exe", stub=stub)
    assert result.returncode == 1
    assert "is reached twice (shared or looping)" in result.stderr
    # inspect names the same damage.
    plain = tovex.build(write_project('mainClass = "a.Main"\n'), "-o", tmp_path / "plain.exe", stub=stub)
    assert plain.returncode == 0, plain.stderr
    inspected = tovex.run("inspect", tmp_path / "plain.exe")
    assert inspected.returncode == 1
    assert "is reached twice (shared or looping)" in inspected.stderr


@pytest.fixture
def fifo(tmp_path):
    path = tmp_path / "pipe.bmp"
    os.mkfifo(path)
    return path


@pytest.mark.parametrize("setting", ["splashPicture", "icon"])
@pytest.mark.parametrize("special", ["/dev/zero", "fifo"])
def test_a_device_or_pipe_as_picture_or_icon_is_refused(tovex, write_project, tmp_path, stub, request, setting,
                                                        special):
    path = request.getfixturevalue("fifo") if special == "fifo" else special
    project = write_project(f'[resources]\n{setting} = "{path}"\n')
    result = tovex.build(project, "-o", tmp_path / "out.exe", stub=stub, timeout=60)
    assert result.returncode == 1
    assert "is not a regular file (a device, a pipe or a socket)" in result.stderr
    assert not (tmp_path / "out.exe").exists()


def test_a_device_as_stub_is_refused(tovex, write_project, tmp_path):
    result = tovex.build(write_project('mainClass = "a.Main"\n'), "-o", tmp_path / "out.exe", stub="/dev/zero",
                         timeout=60)
    assert result.returncode == 1
    assert "is not a regular file (a device, a pipe or a socket)" in result.stderr


@pytest.mark.parametrize("text, column", [('mainClassé = "a"\n', 10), ("msingleInia\u018dC s\n", 12)])
def test_a_non_ascii_character_outside_a_string_is_a_syntax_error(tovex, tmp_path, text, column):
    project = tmp_path / "project.toml"
    project.write_text(text, encoding="utf-8")
    result = tovex.build(project, "-o", tmp_path / "out.exe", timeout=60)
    assert result.returncode == 1
    assert f"{project}:1:{column}: error: TOML syntax error: " in result.stderr
