"""Single-instance mode: a second start of a running single-instance
executable hands its arguments to the first through the hand-over file,
starts no JVM and ends with 0.

Which window the second start brings to the front is not visible from X
without a window manager (Wine then leaves the X focus alone); the unit
tests of window activation check it inside Wine."""
import os
import shutil
import subprocess

import pytest

from harness import REPO, short_path, wait_for

pytestmark = pytest.mark.usefixtures("standins")



def utf16_line(text):
    return (text + "\n").encode("utf-16-le")


def test_second_start_hands_its_arguments_over_and_ends_with_0(app_factory):
    app = app_factory()
    assert "~" in app.value_name, "the folder is expected to have a short form"
    first, pid = app.start()
    jvm_calls = app.jre.jvm_calls()
    probes = app.jre.run_count()
    hand_over = app.hand_over_file(pid)
    hand_over.unlink(missing_ok=True)

    # The same executable named as started, in other letter case and in its
    # short form: all one executable.
    starts = [
        (app.windows, ["-open", "report.txt"], "-open report.txt"),
        (app.windows.upper(), ["x"], "x"),
        (short_path(app.env, app.windows), [], ""),
    ]
    for path, args, typed in starts:
        result = app.run(*args, path=path)
        assert result.returncode == 0, (path, result.stderr)
        assert hand_over.read_bytes() == utf16_line(typed), path
        hand_over.unlink()

    assert app.jre.jvm_calls() == jvm_calls
    assert app.jre.run_count() == probes
    assert first.poll() is None
    assert app.registered_pid() == pid


@pytest.mark.parametrize("modern, extracts", [(False, True), (True, False)])
def test_a_second_start_extracts_only_without_the_modern_switch(app_factory, wine_temp_dir, modern, extracts):
    app = app_factory(project_extra=f"modernRuntime = {'true' if modern else 'false'}\n")
    app.start()
    before = set(wine_temp_dir.glob("tvx*.tmp_dir*"))
    result = app.run("again")
    assert result.returncode == 0, result.stderr
    made = set(wine_temp_dir.glob("tvx*.tmp_dir*")) - before
    assert bool(made) == extracts


def test_arguments_are_handed_over_as_typed(app_factory):
    app = app_factory()
    _, pid = app.start()
    hand_over = app.hand_over_file(pid)
    hand_over.unlink(missing_ok=True)
    result = app.run("a b", "Grüße", "☃")
    assert result.returncode == 0
    data = hand_over.read_bytes()
    assert not data.startswith(b"\xff\xfe")
    assert data == utf16_line('"a b" Grüße ☃')


def test_arguments_with_a_line_feed_are_refused_not_handed_over_as_two_starts(app_factory):
    app = app_factory(project_extra="executableType = 2\n")
    first, pid = app.start()
    hand_over = app.hand_over_file(pid)
    hand_over.unlink(missing_ok=True)
    result = app.run("doc.txt\n--forged-start")
    assert result.returncode == 1
    assert result.stderr.decode("cp1252").startswith(
        "The application is already running. Arguments that hold a line break cannot be passed to it.")
    assert not hand_over.exists()
    assert first.poll() is None


def test_the_first_instance_tells_its_jvm_the_semaphore_and_the_hand_over_file(app_factory):
    app = app_factory()
    _, pid = app.start()
    options = wait_for(lambda: app.jre.create_calls() and app.jre.create_calls()[0][1], timeout=60)
    assert options, "the first instance created no JVM"
    semaphore = [o for o in options if o.startswith("-Dtovex.semaphoreName=")]
    assert semaphore == ["-Dtovex.semaphoreName=" + app.value_name.replace("\\", "_")]
    comm = [o for o in options if o.startswith("-Dtovex.processCommFile=")]
    assert len(comm) == 1
    assert comm[0].lower().endswith(f"\\tvx_p{pid}.tmp")


def test_without_single_instance_mode_every_start_runs(app_factory):
    app = app_factory(single_instance=False, main_sleep_ms=0)
    for _ in range(2):
        result = app.run()
        assert result.returncode == 0
    assert app.registry_value() is None
    creates = app.jre.create_calls()
    assert len(creates) == 2
    for _, options in creates:
        assert not [o for o in options if o.startswith(("-Dtovex.semaphoreName=", "-Dtovex.processCommFile="))]


def test_an_unread_hand_over_is_waited_for_then_replaced(app_factory):
    app = app_factory()
    _, pid = app.start()
    hand_over = app.hand_over_file(pid)
    hand_over.write_bytes(utf16_line("never read"))
    # The wait is bounded: the start ends on its own and overwrites the file.
    result = app.run("later")
    assert result.returncode == 0
    assert hand_over.read_bytes() == utf16_line("later")
    hand_over.unlink()


def test_without_the_first_instance_id_nothing_is_handed_over(app_factory):
    # The first instance's registry value is gone (it could not write it, or
    # a second start came too early): the arguments have nobody to go to.
    app = app_factory()
    first, _ = app.start()
    app.forget_registration()
    nobody = app.hand_over_file(0)
    nobody.unlink(missing_ok=True)
    result = app.run("lost")
    assert result.returncode == 0
    assert not nobody.exists()
    assert first.poll() is None


def test_after_the_first_instance_ends_the_next_start_is_first(app_factory):
    app = app_factory()
    first, pid = app.start()
    first.kill()
    first.wait(timeout=60)
    app.forget_registration()
    second, second_pid = app.start()
    assert second_pid != pid
    assert second.poll() is None


@pytest.fixture(scope="module")
def hand_over_probe(tmp_path_factory):
    """The class path of the Java runtime library and its hand-over probe
    (java/tests), for the OpenJDK of the build machine."""
    jar = REPO / "dist" / "tovexlib.jar"
    if shutil.which("javac") is None or not jar.exists():
        pytest.skip("needs javac and dist/tovexlib.jar (`make`)")
    out = tmp_path_factory.mktemp("handover-classes")
    source = REPO / "java" / "tests" / "tovextest" / "HandOverProbe.java"
    subprocess.run(["javac", "--release", "8", "-cp", str(jar), "-d", str(out), str(source)],
                   check=True, capture_output=True, timeout=120)
    return f"{jar}{os.pathsep}{out}"


def test_java_side_reads_and_deletes_what_a_second_start_wrote(app_factory, hand_over_probe):
    app = app_factory()
    _, pid = app.start()
    hand_over = app.hand_over_file(pid)
    hand_over.unlink(missing_ok=True)
    assert app.run("-open", "Grüße ☃.txt").returncode == 0

    probe = subprocess.run(["java", "-cp", hand_over_probe, f"-Dtovex.processCommFile={hand_over}",
                            "tovextest.HandOverProbe", "poll"],
                           capture_output=True, text=True, encoding="utf-8",
                           env=dict(os.environ, LC_ALL="C.UTF-8"), timeout=120)
    assert probe.returncode == 0, probe.stderr
    assert probe.stdout.splitlines() == ['start:[-open "Grüße ☃.txt"]', "exists:false"]
    assert not hand_over.exists()
