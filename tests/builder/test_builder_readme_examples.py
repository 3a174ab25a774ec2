"""Every project in the user's guide (builder/README.md) builds: the files it
names are made to fit, and the tool must accept the text as written."""
import re
import struct
import sys
import tomllib
from pathlib import Path

import pytest

from .harness import REPO, make_bmp, make_icon_file, make_jar, make_png

GUIDE = REPO / "builder" / "README.md"
EXAMPLES = re.findall(r"```toml\n(.*?)```", GUIDE.read_text(encoding="utf-8"), re.S)
MANIFEST = b'<?xml version="1.0"?>\n<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0"/>\n'


def fake_runtime(home):
    """A Java home whose jvm.dll is a 32-bit x86 DLL, like the stub."""
    dll = home / "bin" / "server" / "jvm.dll"
    dll.parent.mkdir(parents=True)
    image = bytearray(0x200)
    image[0:2] = b"MZ"
    struct.pack_into("<I", image, 0x3C, 0x80)
    image[0x80:0x84] = b"PE\0\0"
    struct.pack_into("<H", image, 0x84, 0x14C)
    dll.write_bytes(bytes(image))


def make_named_files(project, directory):
    """Writes every file the project names, of the kind it needs."""
    for entry in project.get("files", []):
        make_jar(directory / entry["path"], project.get("mainClass", "com.example.Main"))
    resources = project.get("resources", {})
    size = (project.get("splashWidth", 16), project.get("splashHeight", 16))
    if "splashPicture" in resources:
        picture = directory / resources["splashPicture"]
        picture.parent.mkdir(parents=True, exist_ok=True)
        picture.write_bytes(make_png(*size) if picture.suffix == ".png" else make_bmp(*size))
    if "icon" in resources:
        (directory / resources["icon"]).parent.mkdir(parents=True, exist_ok=True)
        (directory / resources["icon"]).write_bytes(make_icon_file())
    if "manifest" in resources:
        (directory / resources["manifest"]).parent.mkdir(parents=True, exist_ok=True)
        (directory / resources["manifest"]).write_bytes(MANIFEST)
    if "runtime" in project.get("build", {}):
        fake_runtime(directory / project["build"]["runtime"])
    if "image" in project.get("runtime", {}):
        # A Windows JDK of the stub's architecture (32-bit), made from the installed OpenJDK.
        sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
        import windows_jdk
        if windows_jdk.available() or not (windows_jdk.runtimes.STANDIN_DIRS["x86"] / "jvm_needs_dep.dll").exists():
            pytest.skip("no Windows JDK can be made here: " + (windows_jdk.available() or "the stand-ins are not built"))
        (directory / project["runtime"]["image"]["jdk"]).parent.mkdir(parents=True, exist_ok=True)
        (directory / project["runtime"]["image"]["jdk"]).symlink_to(windows_jdk.windows_jdk_zip("x86"))


def test_the_guide_has_examples():
    assert len(EXAMPLES) >= 10


@pytest.mark.parametrize("text", EXAMPLES, ids=[f"example-{i + 1}" for i in range(len(EXAMPLES))])
def test_each_example_in_the_guide_builds(tovex, stub, tmp_path, monkeypatch, text):
    monkeypatch.setenv("XDG_CACHE_HOME", str(tmp_path / "cache"))
    directory = tmp_path / "project"
    directory.mkdir()
    make_named_files(tomllib.loads(text), directory)
    project = directory / "example.toml"
    project.write_text(text, encoding="utf-8")
    result = tovex.build(project, stub=stub, plain=False, timeout=600)
    assert result.returncode == 0, result.stderr
    assert "error" not in result.stderr
