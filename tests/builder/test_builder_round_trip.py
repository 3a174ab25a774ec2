"""What build writes, inspect reads back, and the bytes are where the
launcher looks for them."""
import pytest

MAGIC = bytes.fromhex("D513E4E8")  # first bytes of the block

DEFAULT_MESSAGES = {
    1000: "Error",
    1001: "No JVM could be found on your system.\r\nPlease define TOVEX_JAVA_HOME\r\nto point to an installed JDK or "
          "JRE, or download a Java runtime from https://adoptium.net/",
    1002: "The JVM found in your path is damaged.\r\nPlease reinstall or define TOVEX_JAVA_HOME\r\nto point to an "
          "installed JDK or JRE.",
    1003: "The %ENV_VAR_NAME% environment variable does not\r\npoint to a working JDK or JRE.",
    1004: "The JVM found at %DEFINED_PATH% is damaged.\r\nPlease reinstall or define TOVEX_JAVA_HOME\r\nto point to an "
          "installed JDK or JRE.",
    1005: "The JVM could not be started. The main method may have thrown an exception.",
    1006: "File or directory %FILE_NAME% not found or empty\r\n",
    1007: "Wrong Parameter Usage",
    1008: "The environment variable %ENV_VAR_NAME% has to be defined",
    1009: "An internal error occurred (error code: %ERROR_CODE%)",
    1010: "Couldn't load main class.",
    1011: "Main method not found.",
    3003: "This application needs a %REQUIRED_ARCH% Java runtime; the one found at %RUNTIME_PATH% is "
          "%FOUND_ARCH%.\r\nPlease install a %REQUIRED_ARCH% JDK or JRE, or define TOVEX_JAVA_HOME\r\nto point to "
          "one.",
}


def build_and_inspect(tovex, project, stub, *inspect_args):
    result = tovex.build(project, stub=stub)
    assert result.returncode == 0, result.stderr
    exe = project.with_suffix(".exe")
    return exe, tovex.inspect_json(exe, *inspect_args)


def values(records):
    return [(record["key"], record["value"]) for record in records]


def test_empty_project_gets_the_default_messages_only(tovex, write_project, stub):
    _, shown = build_and_inspect(tovex, write_project(""), stub)
    assert values(shown["narrow"]) == sorted(DEFAULT_MESSAGES.items())
    assert shown["wide"] == []


def test_every_kind_of_setting_reads_back(tovex, write_project, stub, read_block):
    project = write_project("""\
        applicationName = "My App"
        mainClass = "com.example.Main"
        executableType = 1
        splashWidth = -4
        statusTextX = -2147483648
        statusTextY = 2147483647
        showSplash = true
        redirectStderr = false
        starterFlag = 2
        statusTextColour = [0, 128, 255]
        launcherFlavour = "installer"
        msgErrorCaption = "Trouble"
        msgNoJvm = "No Java.\\nInstall one.\\r\\nThanks\\n"

        [build]
        codePage = 1252

        [raw.narrow]
        "99999" = "unknown key"
        149 = "0"
        "1011" = "raw text\\nkept as given"

        [raw.wide]
        "5000" = "wide \u2713 \U0001F600"
        "0" = ""
    """)
    exe, shown = build_and_inspect(tovex, project, stub)

    expected_narrow = dict(DEFAULT_MESSAGES)
    expected_narrow.update({
        101: "My App", 122: "com.example.Main", 107: "1", 141: "-4", 10109: "-2147483648", 10110: "2147483647",
        108: "1", 102: "0", 106: "2", 10114: "0,128,255", 2001: "I",
        1000: "Trouble", 1001: "No Java.\r\nInstall one.\r\nThanks\r\n",
        99999: "unknown key", 149: "0", 1011: "raw text\nkept as given",
    })
    assert values(shown["narrow"]) == sorted(expected_narrow.items())
    assert values(shown["wide"]) == [(0, ""), (5000, "wide \u2713 \U0001F600")]

    names = {record["key"]: record["name"] for record in shown["narrow"]}
    assert names[101] == "applicationName" and names[10114] == "statusTextColour"
    assert names[99999] is None and names[149] is None

    _, wide, _ = read_block(exe.read_bytes())
    assert dict(wide)[5000] == "wide \u2713 \U0001F600".encode("utf-16-le")


@pytest.mark.parametrize("setting, written", [
    ('launcherFlavour = "wrapper"', "W"),
    ('launcherFlavour = "installer"', "I"),
    ('launcherFlavour = ""', None),
    ("", None),
])
def test_flavour_letter(tovex, write_project, stub, setting, written):
    _, shown = build_and_inspect(tovex, write_project(setting + "\n"), stub)
    flavour = [record["value"] for record in shown["narrow"] if record["key"] == 2001]
    assert flavour == ([written] if written else [])


@pytest.mark.parametrize("code_page, text", [
    (1250, "Za\u017c\u00f3\u0142\u0107 g\u0119\u015bl\u0105"),
    (1251, "\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440"),
    (1252, "Caf\u00e9 cr\u00e8me \u20ac \u0153"),
    (1253, "\u039a\u03b1\u03bb\u03b7\u03bc\u03ad\u03c1\u03b1"),
    (1254, "\u0130stanbul \u011f\u015f"),
    (1255, "\u05e9\u05dc\u05d5\u05dd"),
    (1256, "\u0645\u0631\u062d\u0628\u0627"),
    (1257, "\u0104\u017euolas \u0173"),
    (1258, "\u0110\u00f4ng \u20ab"),
])
def test_non_ascii_text_in_each_code_page(tovex, write_project, stub, read_block, code_page, text):
    project = write_project(f'applicationName = "{text}"\n[build]\ncodePage = {code_page}\n')
    exe, shown = build_and_inspect(tovex, project, stub, "--code-page", code_page)
    assert shown["codePage"] == code_page
    assert dict(values(shown["narrow"]))[101] == text
    narrow, _, _ = read_block(exe.read_bytes())
    assert dict(narrow)[101] == text.encode(f"cp{code_page}")


@pytest.mark.parametrize("length, accepted", [(8191, True), (8192, False)])
def test_text_limit_counts_encoded_bytes(tovex, write_project, stub, tmp_path, length, accepted):
    # "é" is one byte in code page 1252 but two in UTF-8.
    text = "\u00e9" * length
    project = write_project(f'classPath = "{text}"\n')
    result = tovex.build(project, stub=stub)
    if accepted:
        assert result.returncode == 0, result.stderr
        shown = tovex.inspect_json(tmp_path / "project.exe")
        assert dict(values(shown["narrow"]))[121] == text
    else:
        assert result.returncode == 1
        assert "8192 bytes in code page 1252, the launcher holds at most 8191" in result.stderr
        assert not (tmp_path / "project.exe").exists()


@pytest.mark.parametrize("rsrc_size", [0x200, 0x123, 0x1FF])
def test_layout_of_the_written_file(tovex, write_project, make_stub, tmp_path, read_block, rsrc_size):
    stub = tmp_path / "launcher.exe"
    stub_bytes = make_stub(rsrc_size=rsrc_size)
    stub.write_bytes(stub_bytes)
    project = write_project('applicationName = "Layout"\nshowSplash = true\n[raw.wide]\n"7" = "b"\n"5" = "a"\n')
    exe, shown = build_and_inspect(tovex, project, stub)
    data = exe.read_bytes()

    assert stub.read_bytes() == stub_bytes
    assert data[:len(stub_bytes)] == stub_bytes
    assert data[len(stub_bytes):len(stub_bytes) + 4] == MAGIC
    narrow, wide, end = read_block(data)
    assert [key for key, _ in narrow] == sorted(key for key, _ in narrow)
    assert [key for key, _ in wide] == [5, 7]
    assert (len(narrow), len(wide)) == (len(shown["narrow"]), len(shown["wide"]))
    assert (shown["blockOffset"], shown["includedFilesOffset"], shown["fileSize"]) == (len(stub_bytes), end, len(data))
    assert len(data) % 512 == 0 and len(data) - end < 512
    assert data[end:] == bytes(len(data) - end)


def test_no_padding_when_the_block_ends_on_a_512_byte_boundary(tovex, write_project, stub, read_block):
    project = write_project('applicationName = "x"\n')
    exe, _ = build_and_inspect(tovex, project, stub)
    _, _, end = read_block(exe.read_bytes())
    name = "x" * (1 + (-end) % 512)
    exe, _ = build_and_inspect(tovex, write_project(f'applicationName = "{name}"\n'), stub)
    data = exe.read_bytes()
    assert read_block(data)[2] == len(data)
    assert len(data) % 512 == 0


def test_text_table_shows_names_and_escapes(tovex, write_project, stub):
    project = write_project('applicationName = "Tab\\there"\n[raw.narrow]\n"149" = "0"\n[raw.wide]\n"5000" = "w"\n')
    exe, _ = build_and_inspect(tovex, project, stub)
    result = tovex.run("inspect", exe)
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    assert lines[0] == f"{exe}: configuration block at offset 3584 (0xE00), code page 1252"
    row = {line.split()[0]: line.split(None, 2)[1:] for line in lines if line.startswith("  ") and line.split()[0].isdigit()}
    assert row["101"] == ["applicationName", '"Tab\\there"']
    assert row["149"] == ["(unknown)", '"0"']
    assert row["1001"][1].count("\\r\\n") == 2
    assert "Wide records (1):" in lines and row["5000"] == ["(unknown)", '"w"']


def test_inspect_shows_records_as_stored(tovex, make_stub, write_block, tmp_path):
    # Another writer may store records out of order or twice; inspect shows them as they are.
    exe = tmp_path / "other.exe"
    narrow = [(107, b"1"), (101, b"\x81\xe9"), (107, b"2")]
    wide = [(9, "z".encode("utf-16-le")), (5, b"\x3d\xd8")]  # a lone high surrogate
    exe.write_bytes(make_stub() + write_block(narrow, wide))
    shown = tovex.inspect_json(exe)
    assert values(shown["narrow"]) == [(107, "1"), (101, "\ufffd\u00e9"), (107, "2")]
    assert values(shown["wide"]) == [(9, "z"), (5, "\ufffd")]
