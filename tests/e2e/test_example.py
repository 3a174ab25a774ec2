"""The example application end to end: dist/examples/hello.exe, as `make`
builds it, starts under Wine and reaches the JVM with the starter's argument
vector; that very vector, run on this machine's OpenJDK with the jars the
executable carries, runs the example's main with the user's arguments. Its
splash screen follows the application's controller, and a second start hands
its arguments over to the running first one."""
import shutil
import subprocess

import pytest

from harness import (DIST, STARTER, TOVEX, App, Calls, Screen, calls_with, run_logged, stderr_text, unix_path,
                     visible_splash, wait_for)
from runtimes import make_jre, require_standins

EXAMPLE = DIST / "examples" / "hello.exe"


@pytest.fixture(scope="module")
def arch():
    """The example is built for the default architecture, with the stand-ins of that one."""
    return "x64"


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


def test_the_example_shows_its_splash_follows_its_controller_and_hands_a_second_start_over(
        example, rt, wine_env, running, tmp_path):
    jre = make_jre(rt / "jre")
    # The application runs for a minute; its controller changes the status
    # line, then hides the splash, each when the test says so.
    jre.configure_jvm(main_sleep_ms=60000, controller=["wait status", "2 Saying hello", "wait hide", "1"])
    app = App(example, wine_env)
    first = app.start(extra_env={"JAVA_HOME": jre.windows()})
    running(first)

    window = wait_for(lambda: visible_splash(wine_env), timeout=60)
    assert window, "no splash window appeared"
    assert window["rect"][2] - window["rect"][0] == 256 and window["rect"][3] - window["rect"][1] == 86
    assert wait_for(lambda: calls_with(jre, "getAction = 0"), timeout=60), "the controller is not polled"
    Screen(tmp_path / "splash.png")
    jvm_dir = jre.jvm_dirs[0]
    (jvm_dir / "status").write_text("go")
    assert wait_for(lambda: calls_with(jre, 'getText = "Saying hello"'), timeout=30)
    Screen(tmp_path / "status.png")
    (jvm_dir / "hide").write_text("go")
    assert wait_for(lambda: calls_with(jre, "DetachCurrentThread"), timeout=30), "the splash thread did not end"
    assert visible_splash(wine_env) is None

    # A second start hands its arguments to the first and ends.
    [comm_option] = [o for o in Calls(jre.jvm_calls()).options() if o.startswith("-Dtovex.processCommFile=")]
    comm_file = unix_path(wine_env, comm_option.split("=", 1)[1])
    creations = len(calls_with(jre, "JNI_CreateJavaVM"))
    second = app.run("again", "two words", extra_env={"JAVA_HOME": jre.windows()})
    assert second.returncode == 0, stderr_text(second)
    assert comm_file.read_bytes() == 'again "two words"\n'.encode("utf-16-le")
    assert len(calls_with(jre, "JNI_CreateJavaVM")) == creations
    assert first.poll() is None
