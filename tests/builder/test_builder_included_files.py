"""Included files: [[files]] in the project, the area after the block where
their bytes are stored scrambled, and inspect listing and extracting them."""
import json
import os
import struct

import pytest

from .harness import at

MASK = 0xA7
COUNT_KEY, NAMES_KEY = 2002, 2003

# name in the executable -> contents, in project order
FILES = {
    "app.jar": bytes(range(256)) * 4,
    "empty.txt": b"",
    "big.bin": os.urandom(20000) + bytes(range(256)) * 3,
    "caf\u00e9.txt": "cr\u00e8me\r\n".encode("cp1252"),
}


def scramble(data):
    return bytes(byte ^ MASK for byte in data)


def read_area(image, offset, count):
    """The offsets and raw (still scrambled) data of `count` entries at `offset`, and where they end."""
    entries = []
    for _ in range(count):
        (size,) = struct.unpack_from("<i", image, offset)
        entries.append((offset, bytes(image[offset + 4:offset + 4 + size])))
        offset += 4 + size
    return entries, offset


def area_bytes(contents):
    return b"".join(struct.pack("<i", len(data)) + scramble(data) for data in contents)


def toml_string(text):
    return json.dumps(str(text), ensure_ascii=False)


@pytest.fixture
def files_project(tmp_path, write_project):
    """A project including FILES: two by a path relative to it, one under
    another name, one by an absolute path."""
    (tmp_path / "lib").mkdir()
    (tmp_path / "elsewhere").mkdir()
    (tmp_path / "lib/app.jar").write_bytes(FILES["app.jar"])
    (tmp_path / "lib/empty.txt").write_bytes(FILES["empty.txt"])
    (tmp_path / "lib/data-1.bin").write_bytes(FILES["big.bin"])
    absolute = tmp_path / "elsewhere" / "caf\u00e9.txt"
    absolute.write_bytes(FILES["caf\u00e9.txt"])
    return write_project(f"""\
        applicationName = "Files"

        [[files]]
        path = "lib/app.jar"

        [[files]]
        path = "lib/empty.txt"

        [[files]]
        path = "lib/data-1.bin"
        name = "big.bin"

        [[files]]
        path = {toml_string(absolute)}
    """)


@pytest.fixture
def built(tovex, files_project, stub, tmp_path):
    # Run from another directory: paths are relative to the project file.
    (tmp_path / "cwd").mkdir()
    result = tovex.run("build", files_project, "--stub", stub, "--no-runtime-library", "--plain",
                       cwd=tmp_path / "cwd")
    assert result.returncode == 0, result.stderr
    return files_project.with_suffix(".exe")


def test_extract_gives_the_files_back_byte_for_byte(tovex, built, tmp_path):
    out = tmp_path / "out" / "new"
    result = tovex.run("inspect", built, "--extract", out)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == [f"wrote {out / name} ({len(data)} bytes)" for name, data in FILES.items()]
    assert {path.name: path.read_bytes() for path in out.iterdir()} == FILES


def test_the_area_follows_the_block_scrambled_then_padding(tovex, built, read_block):
    image = built.read_bytes()
    narrow, _, block_end = read_block(image)
    records = dict(narrow)
    assert records[COUNT_KEY] == b"4"
    assert records[NAMES_KEY] == "app.jar;empty.txt;big.bin;caf\u00e9.txt;".encode("cp1252")

    entries, area_end = read_area(image, block_end, len(FILES))
    assert [scramble(raw) for _, raw in entries] == list(FILES.values())
    assert len(image) % 512 == 0 and len(image) - area_end < 512
    assert image[area_end:] == bytes(len(image) - area_end)

    shown = tovex.inspect_json(built)
    assert shown["includedFilesOffset"] == block_end
    assert shown["includedFiles"] == [{"name": name, "size": len(data), "offset": offset}
                                      for (name, data), (offset, _) in zip(FILES.items(), entries)]
    assert shown["includedFilesNote"] is None


def test_text_listing_shows_each_file(tovex, built):
    result = tovex.run("inspect", built)
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    listing = lines[lines.index("Included files (4):") + 2:]
    assert [line.split()[1:] for line in listing] == [
        [str(len(data)), f'"{name}"'] for name, data in FILES.items()]


def test_no_files_no_count_or_names(tovex, write_project, stub, read_block):
    project = write_project("files = []\n")
    assert tovex.build(project, stub=stub).returncode == 0
    image = project.with_suffix(".exe").read_bytes()
    narrow, _, end = read_block(image)
    assert {COUNT_KEY, NAMES_KEY}.isdisjoint(key for key, _ in narrow)
    assert image[end:] == bytes(len(image) - end)
    assert tovex.inspect_json(project.with_suffix(".exe"))["includedFiles"] == []


# (id, project text, "line:column", expected message; {dir} is the project's directory)
BAD_FILES = [
    ("missing-file", '[[files]]\npath = "lib/absent.jar"\n', "2:8",
     "[[files]] path: no such file: {dir}/lib/absent.jar"),
    ("directory", '[[files]]\npath = "lib"\n', "2:8", "[[files]] path: {dir}/lib is a directory"),
    ("empty-path", '[[files]]\npath = ""\n', "2:8", "[[files]] path: expected a file path, got an empty string"),
    ("path-not-a-string", "[[files]]\npath = 3\n", "2:8", "[[files]] path: expected a file path (a string), got an integer"),
    ("no-path", '[[files]]\nname = "a.jar"\n', "1:1", "[[files]] needs a path"),
    ("unknown-key", '[[files]]\npath = "lib/app.jar"\nnmae = "a.jar"\n', "3:1",
     "unknown [[files]] setting 'nmae' (did you mean 'name'?)"),
    ("name-not-a-string", '[[files]]\npath = "lib/app.jar"\nname = ["a"]\n', "3:8",
     "[[files]] name: expected a file name (a string), got an array"),
    ("files-not-tables", 'files = "lib/app.jar"\n', "1:9", "'files' must be an array of tables ([[files]]), got a string"),
    ("files-holds-a-string", 'files = ["lib/app.jar"]\n', "1:10", "'files' must hold tables ([[files]]), got a string"),
    ("name-with-slash", '[[files]]\npath = "lib/app.jar"\nname = "lib/app.jar"\n', "3:8",
     "included file name 'lib/app.jar' has a directory part"),
    ("name-with-backslash", '[[files]]\npath = "lib/app.jar"\nname = "lib\\\\app.jar"\n', "3:8",
     "included file name 'lib\\app.jar' has a directory part"),
    ("name-with-semicolon-from-path", '[[files]]\npath = "lib/a;b.jar"\n', "2:8",
     "included file name 'a;b.jar' (from path 'lib/a;b.jar') contains ';', which separates the names"),
    ("name-with-colon", '[[files]]\npath = "lib/app.jar"\nname = "c:app.jar"\n', "3:8", "contains ':'"),
    ("empty-name", '[[files]]\npath = "lib/app.jar"\nname = ""\n', "3:8", "included file name '' is empty"),
    ("dots-and-blanks", '[[files]]\npath = "lib/app.jar"\nname = ". ."\n', "3:8", "is made only of dots and blanks"),
    ("dot-dot", '[[files]]\npath = "lib/app.jar"\nname = ".."\n', "3:8", "is made only of dots and blanks"),
    ("windows-refuses-character", '[[files]]\npath = "lib/app.jar"\nname = "a?.jar"\n', "3:8",
     "contains '?', which Windows does not allow in file names"),
    ("control-character", '[[files]]\npath = "lib/app.jar"\nname = "a\\u0001.jar"\n', "3:8", "contains U+0001"),
    ("windows-drops-trailing-dot", '[[files]]\npath = "lib/app.jar"\nname = "app.jar."\n', "3:8",
     "ends with a dot or a blank"),
    ("device-name", '[[files]]\npath = "lib/app.jar"\nname = "Nul.txt"\n', "3:8", "is the name of a Windows device"),
    # The launcher checks the name's bytes in the code page, where a superscript digit makes COM and LPT devices.
    ("device-with-superscript-one", '[[files]]\npath = "lib/app.jar"\nname = "com\u00b9.jar"\n', "3:8",
     "included file name 'com\u00b9.jar' is the name of a Windows device in code page 1252, in which the launcher "
     "reads it (COM and LPT followed by a superscript digit are devices too)"),
    ("device-with-superscript-two", '[[files]]\npath = "lib/app.jar"\nname = "COM\u00b2"\n', "3:8",
     "is the name of a Windows device in code page 1252"),
    ("device-with-superscript-three", '[[files]]\npath = "lib/app.jar"\nname = "LPT\u00b3 .txt"\n', "3:8",
     "is the name of a Windows device in code page 1252"),
    # In code page 1251 the byte 0xB9 is U+2116 '\u2116', which the launcher takes for the superscript one.
    ("device-byte-of-another-code-page", '[[files]]\npath = "lib/app.jar"\nname = "com\u2116.jar"\n'
                                         '[build]\ncodePage = 1251\n', "3:8",
     "is the name of a Windows device in code page 1251"),
    ("name-not-in-code-page", '[[files]]\npath = "lib/app.jar"\nname = "\u540d.jar"\n', "3:8",
     "included file name '\u540d.jar': character 1 (U+540D '\u540d') cannot be expressed in code page 1252"),
    ("same-name-other-case",
     '[[files]]\npath = "lib/app.jar"\nname = "App.JAR"\n\n[[files]]\npath = "lib/app.jar"\n', "6:8",
     "included file name 'app.jar' (from path 'lib/app.jar') is also the name of the file at line 3 ('App.JAR'); "
     "Windows file names ignore case"),
    ("same-non-ascii-name-other-case",
     '[[files]]\npath = "lib/app.jar"\nname = "\u00c4rger.txt"\n[[files]]\npath = "lib/app.jar"\nname = "\u00e4rger.txt"\n',
     "6:8", "is also the name of the file at line 3 ('\u00c4rger.txt')"),
    ("managed-count-by-name", 'includedFileCount = 1\n', "1:21", "set by the build tool from the included files"),
]


@pytest.mark.parametrize("text, where, message", [case[1:] for case in BAD_FILES], ids=[case[0] for case in BAD_FILES])
def test_bad_files_entry_is_refused(tovex, write_project, stub, tmp_path, text, where, message):
    (tmp_path / "lib").mkdir()
    (tmp_path / "lib/app.jar").write_bytes(b"PK")
    (tmp_path / "lib/a;b.jar").write_bytes(b"PK")
    project = write_project(text)
    result = tovex.build(project, stub=stub)
    assert result.returncode == 1
    prefix = f"{project}:{where}: error: "
    lines = [line for line in result.stderr.splitlines() if line.startswith(prefix)]
    assert lines, result.stderr
    assert message.format(dir=tmp_path) in lines[0]
    assert not project.with_suffix(".exe").exists()


def test_every_files_problem_is_reported_in_file_order(tovex, write_project, stub, tmp_path):
    project = write_project("""\
        showSplash = "yes"
        [[files]]
        path = "absent.jar"
        [[files]]
        path = "absent.jar"
        name = "a/b"
    """)
    result = tovex.build(project, stub=stub)
    assert result.returncode == 1
    assert [line.split(": error: ")[0] for line in result.stderr.splitlines()] == [
        f"{project}:1:14", f"{project}:3:8", f"{project}:5:8", f"{project}:6:8"]


@pytest.mark.parametrize("list_length, accepted", [(8191, True), (8192, False)])
def test_names_must_fit_the_launchers_buffer(tovex, write_project, stub, tmp_path, read_block, list_length,
                                             accepted):
    # 31 names of 254 bytes and one longer, each with its ';'; "é" is one byte in code page 1252.
    (tmp_path / "a.jar").write_bytes(b"")
    names = [f"{i:02d}" + "\u00e9" * 252 for i in range(31)]
    names.append("x" * (list_length - 31 * 255 - 1))
    project = write_project("".join(f'[[files]]\npath = "a.jar"\nname = "{name}"\n' for name in names))
    result = tovex.build(project, stub=stub)
    if accepted:
        assert result.returncode == 0, result.stderr
        narrow, _, _ = read_block(project.with_suffix(".exe").read_bytes())
        assert len(dict(narrow)[NAMES_KEY]) == 8191
    else:
        assert result.returncode == 1
        assert f"{project}:1:1: error: the names of the included files take 8192 bytes in key 2003" in result.stderr
        assert "the launcher reads at most 8191" in result.stderr


@pytest.mark.parametrize("sizes, where, message", [
    ([2**31], "2:8", "is 2147483648 bytes; the launcher takes included files of at most 2147483647 bytes"),
    ([2**30, 2**30], "1:1", "with its included files the executable would be"),
])
def test_sizes_the_launcher_cannot_seek_are_refused(tovex, write_project, stub, tmp_path, sizes, where, message):
    text = ""
    for index, size in enumerate(sizes):
        with open(tmp_path / f"huge{index}.bin", "wb") as sparse:
            sparse.truncate(size)
        text += f'[[files]]\npath = "huge{index}.bin"\n'
    project = write_project(text)
    result = tovex.build(project, stub=stub)
    assert result.returncode == 1
    assert f"{project}:{where}: error: " in result.stderr and message in result.stderr
    assert sorted(p.name for p in tmp_path.iterdir() if p.suffix != ".bin") == ["launcher.exe", "project.toml"]


# --- inspect on executables written by others, or damaged ------------------

def offsets_of(image, read_block):
    _, _, block_end = read_block(image)
    entries, _ = read_area(image, block_end, len(FILES))
    return [offset for offset, _ in entries]


def set_i32_at(index, value):
    def change(image, offsets):
        struct.pack_into("<i", image, offsets[index], value)
        return image
    return change


def cut_at(index, extra):
    return lambda image, offsets: image[:offsets[index] + extra]


AREA_DAMAGE = [
    # (id, change to the built executable, files still listed, message with {0}, {1}... the entries' offsets)
    ("no-area", cut_at(0, 0), [], "included file 1 of 4 ('app.jar') at offset {0} is cut off by the end of the file: "
                                  "its size needs 4 bytes, 0 bytes left"),
    ("cut-in-size", cut_at(1, 2), ["app.jar"],
     "included file 2 of 4 ('empty.txt') at offset {1} is cut off by the end of the file: its size needs 4 bytes, "
     "2 bytes left"),
    ("cut-in-data", cut_at(2, 4 + 100), ["app.jar", "empty.txt"],
     "included file 3 of 4 ('big.bin') at offset {2} is cut off by the end of the file: its data needs 20768 bytes, "
     "100 bytes left"),
    ("negative-size", set_i32_at(2, -1), ["app.jar", "empty.txt"],
     "included file 3 of 4 ('big.bin') at offset {2} has a negative size (-1)"),
]


@pytest.mark.parametrize("change, listed, message", [case[1:] for case in AREA_DAMAGE],
                         ids=[case[0] for case in AREA_DAMAGE])
def test_inspect_reports_a_damaged_area(tovex, built, read_block, change, listed, message):
    image = bytearray(built.read_bytes())
    offsets = offsets_of(image, read_block)
    built.write_bytes(change(image, offsets))
    result = tovex.run("inspect", "--json", built)
    assert result.returncode == 1
    assert f"{built}: error: " + message.format(*map(at, offsets)) in result.stderr
    assert [entry["name"] for entry in json.loads(result.stdout)["includedFiles"]] == listed


def test_extract_from_a_damaged_area_writes_the_intact_files(tovex, built, read_block, tmp_path):
    image = built.read_bytes()
    built.write_bytes(image[:offsets_of(image, read_block)[2] + 10])
    out = tmp_path / "out"
    result = tovex.run("inspect", built, "--extract", out)
    assert result.returncode == 1
    assert "included file 3 of 4 ('big.bin')" in result.stderr
    assert sorted(path.name for path in out.iterdir()) == ["app.jar", "empty.txt"]
    assert (out / "app.jar").read_bytes() == FILES["app.jar"]


def foreign_exe(path, make_stub, write_block, records, contents):
    path.write_bytes(make_stub() + write_block(records, []) + area_bytes(contents))
    return path


@pytest.mark.parametrize("count, names, listed, note", [
    (b"3", b"a.txt;b.txt;", ["a.txt", "b.txt"],
     "includedFileCount (key 2002) is 3 but includedFileNames (key 2003) lists 2 names; "
     "the launcher extracts the first 2"),
    (b"1", b"a.txt;b.txt;", ["a.txt"], "is 1 but includedFileNames (key 2003) lists 2 names; "
                                       "the launcher extracts the first 1"),
    (None, b"a.txt;", [], "is 0 but includedFileNames (key 2003) lists 1 name; the launcher extracts none"),
    # Read as the launcher reads them: the count like atoi, empty names skipped, the last ';' optional.
    (b" +2 files", b";a.txt;;b.txt", ["a.txt", "b.txt"], None),
    (b"2", b"a.txt;\0b.txt;", ["a.txt"], "lists 1 name; the launcher extracts the first 1"),
])
def test_inspect_lists_what_the_launcher_extracts(tovex, make_stub, write_block, tmp_path, count, names, listed,
                                                  note):
    records = ([(COUNT_KEY, count)] if count is not None else []) + [(NAMES_KEY, names)]
    exe = foreign_exe(tmp_path / "other.exe", make_stub, write_block, records, [b"first", b"second"])
    shown = tovex.inspect_json(exe)
    assert [(entry["name"], entry["size"]) for entry in shown["includedFiles"]] == [
        (name, size) for name, size in zip(listed, (5, 6))]
    if note is None:
        assert shown["includedFilesNote"] is None
    else:
        assert note in shown["includedFilesNote"]


def test_inspect_refuses_device_names_as_the_launcher_reads_them(tovex, make_stub, write_block, tmp_path):
    # Bytes of code page 1252: COM¹, LPT² and COM³ are devices to the launcher, "com1x.jar" is not.
    names = b"com\xb9.jar;ok.txt;LPT\xb2;com1x.jar;CoM\xb3 .log;"
    exe = foreign_exe(tmp_path / "other.exe", make_stub, write_block, [(COUNT_KEY, b"5"), (NAMES_KEY, names)],
                      [b"bad", b"fine", b"bad", b"fine", b"bad"])
    result = tovex.run("inspect", exe, "--extract", tmp_path / "out")
    assert result.returncode == 1
    for index, name in ((1, "com\u00b9.jar"), (3, "LPT\u00b2"), (5, "CoM\u00b3 .log")):
        assert (f"included file {index} of 5: the launcher refuses to extract '{name}', which is the name of a "
                "Windows device") in result.stderr
    assert sorted(path.name for path in (tmp_path / "out").iterdir()) == ["com1x.jar", "ok.txt"]


def test_extract_never_writes_outside_its_directory(tovex, make_stub, write_block, tmp_path):
    names = b"../evil.txt;ok.txt;..;c:evil.txt;..\\evil.txt;"
    exe = foreign_exe(tmp_path / "other.exe", make_stub, write_block, [(COUNT_KEY, b"5"), (NAMES_KEY, names)],
                      [b"bad", b"fine", b"bad", b"bad", b"bad"])
    (tmp_path / "work" / "out").mkdir(parents=True)
    before = sorted(tmp_path.rglob("*"))
    result = tovex.run("inspect", exe, "--extract", "out", cwd=tmp_path / "work")
    assert result.returncode == 1
    assert result.stdout == "wrote out/ok.txt (4 bytes)\n"
    assert sorted(tmp_path.rglob("*")) == sorted(before + [tmp_path / "work/out/ok.txt"])
    for name in ("../evil.txt", "..", "c:evil.txt", "..\\evil.txt"):
        assert f"the launcher refuses to extract '{name}'" in result.stderr


# ---- the Java runtime library, included by default


@pytest.mark.parametrize("build_table, files, expected", [
    # Beside the tool (dist/tovexlib.jar), first of the included files.
    ("", ["lib/app.jar"], ["tovexlib.jar", "app.jar"]),
    # From the project, under its fixed name.
    ('runtimeLibrary = "vendor/runtime-1.0.jar"', ["lib/app.jar"], ["tovexlib.jar", "app.jar"]),
    ("includeRuntimeLibrary = false", ["lib/app.jar"], ["app.jar"]),
    # A project that brings its own keeps it, in its own place.
    ("", ["lib/app.jar", "vendor/TovexLib.jar"], ["app.jar", "TovexLib.jar"]),
])
def test_the_runtime_library_comes_first_unless_left_out(tovex, write_project, stub, tmp_path, build_table, files,
                                                         expected):
    if not (tovex.binary.parent / "tovexlib.jar").exists():
        pytest.skip("dist/tovexlib.jar is built by `make`")
    for name in ("lib/app.jar", "vendor/runtime-1.0.jar", "vendor/TovexLib.jar"):
        (tmp_path / name).parent.mkdir(exist_ok=True)
        (tmp_path / name).write_bytes(name.encode())
    text = f"[build]\n{build_table}\n" + "".join(f'[[files]]\npath = "{path}"\n' for path in files)
    project = write_project(text)
    result = tovex.build(project, stub=stub, runtime_library=True)
    assert result.returncode == 0, result.stderr
    shown = tovex.inspect_json(project.with_suffix(".exe"))["includedFiles"]
    assert [entry["name"] for entry in shown] == expected
    if "runtimeLibrary =" in build_table:
        assert shown[0]["size"] == len(b"vendor/runtime-1.0.jar")


@pytest.mark.parametrize("build_table, message", [
    ('runtimeLibrary = "missing.jar"', "3:18: error: Java runtime library not found: {dir}/missing.jar"),
    ('includeRuntimeLibrary = "no"', "3:25: error: [build] includeRuntimeLibrary: expected true or false, got a string"),
])
def test_runtime_library_errors_name_the_problem(tovex, write_project, stub, tmp_path, build_table, message):
    project = write_project(f"\n[build]\n{build_table}\n")
    result = tovex.build(project, stub=stub, runtime_library=True)
    assert result.returncode == 1
    assert f"{project}:" + message.format(dir=tmp_path) in result.stderr
