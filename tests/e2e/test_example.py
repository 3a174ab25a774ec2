"""The example application end to end: dist/examples/hello.exe, as `make`
builds it, starts under Wine and reaches the JVM with the starter's argument
vector; that very vector, run on this machine's OpenJDK with the jars the
executable carries, runs the example's main with the user's arguments."""
import shutil
import subprocess

import pytest

from conftest import DIST, TOVEX, run_logged
from runtimes import make_jre, require_standins
from test_launch import STARTER, Calls
from test_start_up import stderr_text

EXAMPLE = DIST / "examples" / "hello.exe"
USER_ARGUMENTS = ["one", "two words", "Ωmega"]


@pytest.fixture
def example(make_app, rt, wine_env):
    require_standins()
    if not EXAMPLE.exists():
        pytest.skip("dist/examples/hello.exe is built by `make`")
    if shutil.which("java") is None:
        pytest.skip("no Java runtime on this machine")
    folder = rt / "Hello"
    folder.mkdir()
    shutil.copy(EXAMPLE, folder / "hello.exe")
    return folder / "hello.exe"


def test_the_example_reaches_the_jvm_and_its_java_side_runs_on_openjdk(example, rt, wine_env, temp_logs, tmp_path):
    from conftest import App
    jre = make_jre(rt / "jre")
    result, log = run_logged(App(example, wine_env), temp_logs, *USER_ARGUMENTS, env={"JAVA_HOME": jre.windows()})
    assert result.returncode == 0, stderr_text(result) + log
    calls = Calls(jre.jvm_calls())
    [class_path] = [option for option in calls.options() if option.startswith("-Djava.class.path=")]
    entries = [entry.rsplit("\\", 1)[-1] for entry in class_path.split("=", 1)[1].split(";") if entry]
    # The extraction directory's archives, in the order the directory lists them.
    assert sorted(entries) == ["hello.jar", "tovexlib.jar"]
    vector = calls.starter_arguments()
    assert vector[:5] == ["true", "com.example.hello.Hello", "", "", "false"]
    assert vector[6:] == USER_ARGUMENTS

    # The same vector on OpenJDK, with the jars taken out of the executable.
    jars = tmp_path / "jars"
    extracted = subprocess.run([str(TOVEX), "inspect", str(example), "--extract", str(jars)], capture_output=True,
                               text=True)
    assert extracted.returncode == 0, extracted.stderr
    java = subprocess.run(["java", "-Djava.awt.headless=true", "-cp",
                           f"{jars / 'tovexlib.jar'}:{jars / 'hello.jar'}", STARTER.replace("/", "."), *vector],
                          capture_output=True, text=True, encoding="utf-8", timeout=120)
    assert java.returncode == 0, java.stderr
    assert java.stdout.splitlines() == [f"Hello from {vector[5]}", "3 arguments"] + \
        [f"argument {i}: {text}" for i, text in enumerate(USER_ARGUMENTS)]
