"""The command line: help, version, usage errors, and where build takes its
stub from and puts its output."""
import shutil

import pytest


@pytest.mark.parametrize("args", [["--help"], ["-h"], ["build", "--help"], ["inspect", "x.exe", "--help"]])
def test_help(tovex, args):
    result = tovex.run(*args)
    assert result.returncode == 0
    assert "Usage: tovex build PROJECT.toml" in result.stdout and "tovex inspect APP.exe" in result.stdout


def test_version(tovex):
    result = tovex.run("--version")
    assert result.returncode == 0
    assert result.stdout.startswith("tovex ") and result.stdout.count("\n") == 1


@pytest.mark.parametrize("args, message", [
    ([], "no command given"),
    (["biuld", "app.toml"], "unknown command 'biuld' (did you mean 'build'?)"),
    (["--bogus"], "unknown option --bogus"),
    (["build"], "'build' needs a project file"),
    (["build", "a.toml", "b.toml"], "unexpected argument 'b.toml' for 'build'"),
    (["build", "a.toml", "--frobnicate"], "unknown option --frobnicate for 'build'"),
    (["build", "a.toml", "-o"], "option -o needs a value"),
    (["build", "a.toml", "--stub="], "option --stub needs a value"),
    (["inspect"], "'inspect' needs an executable to inspect"),
    (["inspect", "a.exe", "--code-page", "437"], "code page '437' is not supported; supported code pages are 1250"),
    (["inspect", "a.exe", "--code-page", "cp1252"], "code page 'cp1252' is not supported"),
    (["inspect", "a.exe", "--json=yes"], "option --json takes no value"),
    (["inspect", "a.exe", "--extract"], "option --extract needs a value"),
    (["inspect", "a.exe", "--extract", "out", "--json"], "--json and --extract cannot be used together"),
])
def test_usage_errors(tovex, args, message):
    result = tovex.run(*args)
    assert result.returncode == 2
    assert result.stderr.startswith("tovex: error: ")
    assert message in result.stderr and "tovex --help" in result.stderr


def test_success_line_names_output_and_size(tovex, write_project, stub, tmp_path):
    result = tovex.build(write_project(""), stub=stub)
    assert result.returncode == 0
    output = tmp_path / "project.exe"
    assert result.stdout == f"wrote {output} ({output.stat().st_size} bytes)\n"


def test_default_output_is_beside_the_project(tovex, stub, tmp_path):
    (tmp_path / "app").mkdir()
    (tmp_path / "app" / "demo.toml").write_text('applicationName = "Demo"\nmainClass = "demo.Main"\n')
    (tmp_path / "elsewhere").mkdir()
    result = tovex.run("build", "../app/demo.toml", "--stub", stub, "--no-runtime-library", cwd=tmp_path / "elsewhere")
    assert result.returncode == 0, result.stderr
    assert (tmp_path / "app" / "demo.exe").is_file()


def test_project_paths_are_relative_to_the_project_and_options_to_the_cwd(tovex, make_stub, tmp_path):
    for directory in ("app/stubs", "app/out", "cwd/mine"):
        (tmp_path / directory).mkdir(parents=True)
    (tmp_path / "app/stubs/launcher.exe").write_bytes(make_stub())
    (tmp_path / "cwd/mine/other.exe").write_bytes(make_stub(rsrc_size=0x100))
    (tmp_path / "app/demo.toml").write_text('mainClass = "demo.Main"\n[build]\noutput = "out/Demo.exe"\n'
                                          'stub = "stubs/launcher.exe"\n')
    cwd = tmp_path / "cwd"

    assert tovex.run("build", "../app/demo.toml", "--no-runtime-library", cwd=cwd).returncode == 0
    assert tovex.inspect_json(tmp_path / "app/out/Demo.exe")["blockOffset"] == 0x400 + 4 * 0x200 + 0x200

    result = tovex.run("build", "../app/demo.toml", "-o", "mine/Cli.exe", "--stub=mine/other.exe",
                       "--no-runtime-library", cwd=cwd)
    assert result.returncode == 0, result.stderr
    assert tovex.inspect_json(cwd / "mine/Cli.exe")["blockOffset"] == 0x400 + 4 * 0x200 + 0x100


def test_default_stub_and_runtime_library_lie_beside_the_tool(tovex_binary, tovex_at, make_stub, write_project,
                                                               tmp_path):
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    # A copy, not a link: the tool looks beside its real file.
    tool = tovex_at(shutil.copy(tovex_binary, bin_dir / "tovex"))
    project = write_project('mainClass = "demo.Main"\n')

    missing = tool.run("build", project, "--no-runtime-library")
    assert missing.returncode == 1
    assert f"stub not found: {bin_dir / 'launcher64.exe'}" in missing.stderr

    (bin_dir / "launcher64.exe").write_bytes(make_stub(x64=True))
    missing = tool.run("build", project)
    assert missing.returncode == 1
    assert f"Java runtime library not found: {bin_dir / 'tovexlib.jar'}" in missing.stderr
    assert "includeRuntimeLibrary = false" in missing.stderr

    (bin_dir / "tovexlib.jar").write_bytes(b"PK starter")
    assert tool.run("build", project).returncode == 0, missing.stderr
    assert (tmp_path / "project.exe").is_file()
    assert [f["name"] for f in tool.inspect_json(tmp_path / "project.exe")["includedFiles"]] == ["tovexlib.jar"]


def test_rebuild_replaces_the_output_and_leaves_no_temporary_files(tovex, write_project, stub, tmp_path):
    project = write_project('applicationName = "one"\n')
    assert tovex.build(project, stub=stub).returncode == 0
    write_project('applicationName = "two"\n')
    assert tovex.build(project, stub=stub).returncode == 0
    shown = tovex.inspect_json(tmp_path / "project.exe")
    assert [r["value"] for r in shown["narrow"] if r["key"] == 101] == ["two"]
    assert sorted(p.name for p in tmp_path.iterdir()) == ["launcher.exe", "project.exe", "project.toml"]
