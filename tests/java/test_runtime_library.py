"""The Java runtime library (dist/tovexlib.jar) on this machine's OpenJDK.

The starter is run the way the launcher calls it: its static main with the
launcher's argument vector; an exception leaving main is what the launcher
sees and reports (here: exit status 1 and the exception on standard error).
"""
import os
import pathlib
import subprocess

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
JAR = ROOT / "dist" / "tovexlib.jar"
TEST_SOURCES = ROOT / "java" / "tests"
ENV = dict(os.environ, LC_ALL="C.UTF-8")


@pytest.fixture(scope="session")
def classpath(tmp_path_factory):
    assert JAR.is_file(), "build dist/tovexlib.jar first (make java)"
    out = tmp_path_factory.mktemp("testclasses")
    sources = [str(p) for p in sorted(TEST_SOURCES.rglob("*.java"))]
    subprocess.run(["javac", "--release", "8", "-cp", str(JAR), "-d", str(out)] + sources,
                   check=True, timeout=120)
    return f"{JAR}{os.pathsep}{out}"


def java(classpath, main, *args, props=None, cwd=None):
    options = [f"-D{k}={v}" for k, v in (props or {}).items()]
    return subprocess.run(["java", "-Djava.awt.headless=true", "-cp", classpath] + options
                          + [main] + list(args),
                          capture_output=True, text=True, encoding="utf-8", env=ENV,
                          cwd=cwd, timeout=60)


def starter(classpath, gui, main_class, err_file, out_file, flag, *rest, cwd=None):
    return java(classpath, "com.tovex.runtime.WinLauncher",
                gui, main_class, err_file, out_file, flag, *rest, cwd=cwd)


def test_application_receives_the_arguments_after_the_program_name(classpath):
    # The launcher's vector: five launch parameters, program name, configured
    # arguments, then the user's arguments (including one outside Latin-1 and
    # one that looks like a launch parameter).
    r = starter(classpath, "true", "tovextest.EchoApp", "", "", "false",
                "C:\\Apps\\hello.exe", "a", "b c", "", "Grüße ☃", "true")
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == [
        "arg:a", "arg:b c", "arg:", "arg:Grüße ☃", "arg:true",
        "program:C:\\Apps\\hello.exe", "gui:true", "edt:false"]
    assert r.stderr == "to-stderr\n"


def test_without_program_name_the_application_gets_no_arguments(classpath):
    r = starter(classpath, "false", "tovextest.EchoApp", "", "", "false")
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == ["program:null", "gui:false", "edt:false"]


@pytest.mark.parametrize("flag, on_event_thread", [("true", True), ("false", False), ("", False)])
def test_starter_flag_selects_the_event_dispatch_thread(classpath, flag, on_event_thread):
    r = starter(classpath, "true", "tovextest.EchoApp", "", "", flag, "app.exe")
    assert r.returncode == 0, r.stderr
    assert f"edt:{str(on_event_thread).lower()}" in r.stdout.splitlines()


def test_redirection_appends_to_the_given_files(classpath, tmp_path):
    out_file = tmp_path / "output.log"
    err_file = tmp_path / "error.log"  # missing: created
    out_file.write_text("earlier run\n")
    for _ in range(2):
        r = starter(classpath, "true", "tovextest.EchoApp", str(err_file), str(out_file),
                    "false", "app.exe", "x")
        assert r.returncode == 0, r.stderr
        assert r.stdout == "" and r.stderr == ""
    one_run = "arg:x\nprogram:app.exe\ngui:true\nedt:false\n"
    assert out_file.read_text() == "earlier run\n" + one_run * 2
    assert err_file.read_text() == "to-stderr\n" * 2


def test_unwritable_redirection_target_keeps_the_stream(classpath, tmp_path):
    r = starter(classpath, "true", "tovextest.EchoApp", str(tmp_path / "no" / "such" / "err.log"),
                "", "false", "app.exe")
    assert r.returncode == 0
    assert "cannot redirect" in r.stderr and "to-stderr" in r.stderr


@pytest.mark.parametrize("main_class, flag, exception", [
    ("tovextest.Missing", "false", "java.lang.ClassNotFoundException: tovextest.Missing"),
    ("", "false", "java.lang.ClassNotFoundException"),
    ("tovextest.NoMainApp", "false", "java.lang.NoSuchMethodException"),
    ("tovextest.InstanceMainApp", "false", "java.lang.NoSuchMethodException"),
    ("tovextest.ThrowingApp", "false", "java.io.IOException: failure inside the application"),
    ("tovextest.ThrowingApp", "true", "java.io.IOException: failure inside the application"),
])
def test_failures_reach_the_caller(classpath, main_class, flag, exception):
    r = starter(classpath, "true", main_class, "", "", flag, "app.exe")
    assert r.returncode == 1
    assert "must not run" not in r.stdout
    assert f'Exception in thread "main" {exception}' in r.stderr


def test_fewer_than_five_launch_parameters_are_refused(classpath):
    r = java(classpath, "com.tovex.runtime.WinLauncher", "true", "tovextest.EchoApp")
    assert r.returncode == 1
    assert "java.lang.IllegalArgumentException" in r.stderr


@pytest.mark.parametrize("steps, answers", [
    ([], []),
    (["action"], ["0"]),
    (["action", "text"], ["0", "null"]),
    (["set:Loading", "action", "text", "action"], ["2", "Loading", "0"]),
    (["set:one", "set:two", "action", "text"], ["2", "two"]),
    (["set:one", "action", "set:two", "text", "action"], ["2", "two", "0"]),
    (["hide", "action", "action"], ["1", "1"]),
    (["set:x", "hide", "action"], ["1"]),
])
def test_controller_answers_the_splash_thread(classpath, steps, answers):
    r = java(classpath, "tovextest.ControllerProbe", *steps)
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == answers


def utf16(text):
    return text.encode("utf-16-le")


@pytest.mark.parametrize("content, starts, left", [
    (utf16("-open report.txt\n"), ["-open report.txt"], False),
    (utf16("\n"), [""], False),
    (utf16('"C:\\My Files\\ä ☃.txt"\n'), ['"C:\\My Files\\ä ☃.txt"'], False),
    (utf16("first\nsecond\n"), ["first", "second"], False),
    (utf16("still being writ"), [], True),
    (utf16("odd\n") + b"\x00", [], True),
])
def test_hand_over_file_is_read_and_deleted(classpath, tmp_path, content, starts, left):
    comm = tmp_path / "tvx_p42.tmp"
    comm.write_bytes(content)
    r = java(classpath, "tovextest.HandOverProbe", "poll",
             props={"tovex.processCommFile": comm})
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == [f"start:[{s}]" for s in starts] + [f"exists:{str(left).lower()}"]
    assert comm.exists() == left


def test_hand_over_thread_picks_up_a_later_start(classpath, tmp_path):
    comm = tmp_path / "tvx_p7.tmp"
    proc = subprocess.Popen(["java", "-cp", classpath, f"-Dtovex.processCommFile={comm}",
                             "tovextest.HandOverProbe", "thread", "1"],
                            stdout=subprocess.PIPE, text=True, encoding="utf-8", env=ENV)
    try:
        comm.write_bytes(utf16("-open x.txt\n"))
        out, _ = proc.communicate(timeout=60)
    finally:
        proc.kill()
    assert out.splitlines() == ["start:[-open x.txt]"]
    assert not comm.exists()


@pytest.mark.parametrize("hook, status, output", [
    (None, 0, "firstRun:true"),
    ("tovextest.RefusingHook", 0, "firstRun:false"),
    ("tovextest.FailingHook", 1, ""),
    ("tovextest.NoSuchHook", 1, ""),
])
def test_first_run(classpath, hook, status, output):
    r = java(classpath, "tovextest.FirstRunProbe",
             props={"tovex.firstRunHook": hook} if hook else None)
    assert r.returncode == status
    assert r.stdout.strip() == output
