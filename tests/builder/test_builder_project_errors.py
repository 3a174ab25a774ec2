"""Bad project files: each gets an error naming file:line[:column] and the
problem, exit status 1, and no output file."""
import os
import stat

import pytest

# (id, project text, "line:column" or "line", expected message text)
BAD_PROJECTS = [
    ("toml-syntax", 'applicationName = "unterminated\n', "1:32", "TOML syntax error"),
    ("unknown-setting", "splashWidth = 1\nsplashWidht = 3\n", "2:1",
     "unknown setting 'splashWidht' (did you mean 'splashWidth'?)"),
    ("unknown-setting-wrong-case", "applicationname = 'x'\n", "1:1", "(did you mean 'applicationName'?)"),
    ("int-given-string", 'splashWidth = "640"\n', "1:15", "'splashWidth': expected an integer, got a string"),
    ("int-given-float", "splashHeight = 6.5\n", "1:16", "expected an integer, got a floating-point number"),
    ("int-above-32-bit", "statusTextX = 2147483648\n", "1:15", "out of the 32-bit integer range"),
    ("int-below-32-bit", "statusTextY = -2147483649\n", "1:15", "out of the 32-bit integer range"),
    ("switch-given-string", 'showSplash = "yes"\n', "1:14", "'showSplash': expected true or false, got a string"),
    ("switch-int-above-32-bit", "requireJdk = 4294967296\n", "1:14", "out of the 32-bit integer range"),
    ("text-given-int", "minJavaVersion = 11\n", "1:18", "expected a string, got an integer (put the value in quotes)"),
    ("message-given-array", 'msgNoJvm = ["a"]\n', "1:12", "'msgNoJvm': expected a string, got an array"),
    ("colour-given-string", 'statusTextColour = "1,2,3"\n', "1:20", "expected [r, g, b], got a string"),
    ("colour-two-components", "versionTextColour = [1, 2]\n", "1:21", "expected [r, g, b] with three components, got 2"),
    ("colour-component-above-255", "statusTextColour = [0, 256, 0]\n", "1:24", "colour component 2 is 256, outside 0 to 255"),
    ("colour-component-negative", "statusTextColour = [-1, 0, 0]\n", "1:21", "colour component 1 is -1, outside 0 to 255"),
    ("colour-component-not-int", "statusTextColour = [0, 0, 1.5]\n", "1:27",
     "colour component 3: expected an integer from 0 to 255, got a floating-point number"),
    ("flavour-unknown-word", 'launcherFlavour = "both"\n', "1:19", 'expected "wrapper", "installer" or "", got "both"'),
    ("flavour-given-bool", "launcherFlavour = true\n", "1:19", "got a boolean"),
    ("managed-count", "includedFileCount = 1\n", "1:21", "'includedFileCount' is set by the build tool from the included files"),
    ("managed-names", 'includedFileNames = "a.jar"\n', "1:21", "set by the build tool from the included files"),
    ("face-name-too-long", f'statusFontName = "{"F" * 32}"\n', "1:18",
     "'statusFontName' is too long: 32 bytes in code page 1252, the launcher holds at most 31"),
    ("text-too-long", f'classPath = "{"x" * 8192}"\n', "1:13", "8192 bytes in code page 1252, the launcher holds at most 8191"),
    ("wide-too-long", f'[raw.wide]\n"5000" = "{"x" * 8192}"\n', "2:10", "8192 UTF-16 units, the launcher holds at most 8191"),
    ("raw-flavour-too-long", '[raw.narrow]\n"2001" = "WI"\n', "2:10", "the launcher holds at most 1"),
    ("unmappable-cp1252", 'applicationName = "ab\u4e2d"\n', "1:19",
     "'applicationName': character 3 (U+4E2D '\u4e2d') cannot be expressed in code page 1252"),
    ("unmappable-cp1251", 'stdoutFile = "caf\u00e9.log"\n[build]\ncodePage = 1251\n', "1:14",
     "character 4 (U+00E9 '\u00e9') cannot be expressed in code page 1251"),
    ("undefined-byte-is-unmappable", '[build]\ncodePage = 1253\n[raw.narrow]\n"149" = "\u00aa"\n', "4:9",
     "(U+00AA '\u00aa') cannot be expressed in code page 1253"),
    ("nul-character", 'mainClass = "a\\u0000b"\n', "1:13", "character 2 is U+0000"),
    ("raw-key-not-decimal", '[raw.narrow]\nabc = "1"\n', "2:1", "[raw.narrow] key 'abc' is not a decimal integer"),
    ("raw-key-fraction", '[raw.wide]\n"1.5" = "1"\n', "2:1", "[raw.wide] key '1.5' is not a decimal integer"),
    ("raw-key-negative", '[raw.narrow]\n"-1" = "1"\n', "2:1", "key '-1' is out of range (0 to 2147483647)"),
    ("raw-key-above-32-bit", '[raw.narrow]\n"2147483648" = "1"\n', "2:1", "key '2147483648' is out of range"),
    ("raw-value-not-string", "[raw.narrow]\n149 = 0\n", "2:7", "[raw.narrow] key 149: expected a string, got an integer"),
    ("raw-wide-value-not-string", "[raw.wide]\n5000 = true\n", "2:8", "[raw.wide] key 5000: expected a string, got a boolean"),
    ("raw-managed-key", '[raw.narrow]\n"2002" = "3"\n', "2:1", "key 2002 (includedFileCount) is set by the build tool"),
    ("raw-unknown-table", '[raw.narow]\n"1" = "x"\n', "1:6", "unknown table [raw.narow] (did you mean 'narrow'?)"),
    ("raw-not-a-table", 'raw = "x"\n', "1:7", "'raw' must be a table"),
    ("raw-same-key-by-name", 'applicationName = "A"\n\n[raw.narrow]\n"101" = "B"\n', "4:1",
     "narrow key 101 is set twice: by 'applicationName' at line 1 and by [raw.narrow] key 101"),
    ("raw-same-key-twice", '[raw.narrow]\n"149" = "0"\n"0149" = "1"\n', "3:1",
     "narrow key 149 is set twice: by [raw.narrow] key 149 at line 2 and by [raw.narrow] key 0149"),
    ("build-unknown-entry", '[build]\noutptu = "a.exe"\n', "2:1", "unknown [build] setting 'outptu' (did you mean 'output'?)"),
    ("build-unsupported-code-page", "[build]\ncodePage = 437\n", "2:12",
     "code page 437 is not supported; supported code pages are 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258"),
    ("build-code-page-not-int", '[build]\ncodePage = "1252"\n', "2:12", "[build] codePage: expected an integer, got a string"),
    ("build-output-not-string", "[build]\noutput = 1\n", "2:10", "[build] output: expected a file path (a string)"),
    ("build-stub-empty", '[build]\nstub = ""\n', "2:8", "[build] stub: expected a file path, got an empty string"),
    ("build-not-a-table", "build = 1\n", "1:9", "'build' must be a table"),
]


def leftover_files(directory):
    return sorted(p.name for p in directory.iterdir() if p.name not in ("project.toml", "launcher.exe"))


@pytest.mark.parametrize("text, where, message", [case[1:] for case in BAD_PROJECTS],
                         ids=[case[0] for case in BAD_PROJECTS])
def test_bad_project_is_refused_with_its_location(tovex, write_project, stub, tmp_path, text, where, message):
    project = write_project(text)
    result = tovex.build(project, stub=stub)
    assert result.returncode == 1
    assert f"{project}:{where}: error: " in result.stderr
    assert message in result.stderr
    assert leftover_files(tmp_path) == []


def test_every_error_in_a_project_is_reported_in_file_order(tovex, write_project, stub):
    project = write_project("""\
        showSplash = "yes"
        splashWidht = 3
        applicationName = "\u4e2d"

        [build]
        codePage = 1252
        junk = 1
    """)
    result = tovex.build(project, stub=stub)
    assert result.returncode == 1
    lines = result.stderr.splitlines()
    assert [line.split(": error: ")[0] for line in lines] == [
        f"{project}:1:14", f"{project}:2:1", f"{project}:3:19", f"{project}:7:1"]


def test_missing_project_file(tovex, tmp_path, stub):
    result = tovex.build(tmp_path / "absent.toml", stub=stub)
    assert result.returncode == 1
    assert f"{tmp_path / 'absent.toml'}: error: cannot read project file: no such file" in result.stderr


def test_stub_named_in_project_is_reported_at_its_line(tovex, write_project, tmp_path):
    project = write_project('applicationName = "A"\n[build]\nstub = "stubs/missing.exe"\n')
    result = tovex.build(project)
    assert result.returncode == 1
    assert f"{project}:3:8: error: stub not found: {tmp_path / 'stubs' / 'missing.exe'}" in result.stderr


def test_stub_given_on_command_line_must_exist(tovex, write_project, tmp_path):
    result = tovex.build(write_project(""), stub=tmp_path / "nope.exe")
    assert result.returncode == 1
    assert f"stub not found: {tmp_path / 'nope.exe'}" in result.stderr
    assert leftover_files(tmp_path) == []


@pytest.mark.parametrize("output, problem", [
    ("a-file/app.exe", "cannot create the folder"),
    ("a-directory", "a directory of that name exists"),
])
def test_unwritable_output_is_reported(tovex, write_project, stub, tmp_path, output, problem):
    (tmp_path / "a-directory").mkdir()
    (tmp_path / "a-file").write_text("in the way")
    result = tovex.build(write_project(""), "-o", tmp_path / output, stub=stub)
    assert result.returncode == 1
    assert f"cannot write output {tmp_path / output}" in result.stderr and problem in result.stderr
    assert leftover_files(tmp_path) == ["a-directory", "a-file"]


def test_missing_output_folders_are_created_and_the_executable_may_run(tovex, write_project, stub, tmp_path):
    old = os.umask(0o027)
    try:
        result = tovex.build(write_project(""), "-o", tmp_path / "dist" / "win" / "app.exe", stub=stub)
    finally:
        os.umask(old)
    assert result.returncode == 0, result.stderr
    assert stat.S_IMODE((tmp_path / "dist" / "win" / "app.exe").stat().st_mode) == 0o750


def test_output_may_not_overwrite_the_stub(tovex, write_project, stub):
    before = stub.read_bytes()
    result = tovex.build(write_project(""), "-o", stub, stub=stub)
    assert result.returncode == 1
    assert "is the stub itself" in result.stderr
    assert stub.read_bytes() == before


def test_failed_build_leaves_the_previous_output_alone(tovex, write_project, stub, tmp_path):
    project = write_project('applicationName = "first"\n')
    assert tovex.build(project, stub=stub).returncode == 0
    previous = (tmp_path / "project.exe").read_bytes()

    write_project('applicationName = "second"\nsplashWidth = "wide"\n')
    assert tovex.build(project, stub=stub).returncode == 1
    assert (tmp_path / "project.exe").read_bytes() == previous
    assert leftover_files(tmp_path) == ["project.exe"]


@pytest.mark.parametrize("text, where, message", [
    ('minJavaVersion = 1.8.0_402\n', "1:21",
     "TOML syntax error: expected decimal digit or exponent, saw '.' (reading a floating-point number; is it text? "
     'put the value in quotes, e.g. minJavaVersion = "1.8.0_402")'),
    ("applicationName = Hello\n", "1:19",
     "TOML syntax error: could not determine value type (reading a value; is it text? put the value in quotes"),
    ('[[files]]\npath = "C:\\Java\\app.jar"\n', "2:12",
     "TOML syntax error: unknown escape sequence '\\J' (reading a string; in double quotes a backslash starts an "
     "escape: write \\\\ for one backslash, or put the text in single quotes, e.g. 'C:\\Java')"),
    ('applicationName = "x"\n[build\n', "2:7", "TOML syntax error: "),
])
def test_a_toml_syntax_error_is_reported_alone_in_plain_words(tovex, write_project, stub, text, where, message):
    # A user's build, which would otherwise miss the main class of a project it could not read.
    project = write_project(text)
    result = tovex.build(project, stub=stub, plain=False)
    assert result.returncode == 1
    assert result.stderr.startswith(f"{project}:{where}: error: {message}"), result.stderr
    assert result.stderr.count("\n") == 1
    assert "expected expected" not in result.stderr


def make_inputs(tmp_path):
    """A project that reads one file of each kind, relative to its folder."""
    from .harness import make_icon_file, make_bmp, make_jar
    make_jar(tmp_path / "lib" / "app.jar", "com.example.Main")
    (tmp_path / "splash.bmp").write_bytes(make_bmp(16, 16))
    (tmp_path / "app.ico").write_bytes(make_icon_file())
    (tmp_path / "app.manifest").write_text(
        '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0"/>')
    return ('splashWidth = 16\nsplashHeight = 16\n[[files]]\npath = "lib/app.jar"\n'
            '[resources]\nsplashPicture = "splash.bmp"\nicon = "app.ico"\nmanifest = "app.manifest"\n')


@pytest.mark.parametrize("output, what", [
    ("project.toml", "the project file"),
    ("lib/app.jar", "the included file lib/app.jar"),
    ("splash.bmp", "the splash picture splash.bmp"),
    ("app.ico", "the icon app.ico"),
    ("app.manifest", "the manifest app.manifest"),
    ("launcher.exe", "the stub"),
    # The same file by another name: a symbolic link, a hard link.
    ("link-to-project.toml", "the project file"),
    ("hard-link-to-app.jar", "the included file lib/app.jar"),
])
def test_the_output_may_be_none_of_the_inputs(tovex, write_project, stub, tmp_path, output, what):
    project = write_project(make_inputs(tmp_path))
    (tmp_path / "link-to-project.toml").symlink_to(project)
    os.link(tmp_path / "lib" / "app.jar", tmp_path / "hard-link-to-app.jar")
    before = {path: path.read_bytes() for path in tmp_path.rglob("*") if path.is_file()}
    for plain in (True, False):
        result = tovex.build(project, "-o", tmp_path / output, stub=stub, plain=plain)
        assert result.returncode == 1
        assert (f"tovex: error: the output {tmp_path / output} is {what} itself; building would overwrite it: "
                "choose another output with -o or [build] output") in result.stderr
        assert {path: path.read_bytes() for path in tmp_path.rglob("*") if path.is_file()} == before
    # Given in the project, the output is refused alike.
    project.write_text(project.read_text() + '[build]\noutput = "lib/app.jar"\n')
    result = tovex.build(project, stub=stub)
    assert result.returncode == 1 and "is the included file lib/app.jar itself" in result.stderr
