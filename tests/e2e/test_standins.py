"""The stand-in runtime behaves as configured: what the launcher's tests rely on."""
import shutil
import subprocess
import uuid

import pytest

import runtimes
from harness import WINE, wait_for, wine
from runtimes import make_jre, make_jdk


@pytest.fixture
def place(wine_c_drive, arch):
    """A fresh directory on the Wine C: drive for the stand-ins of the
    architecture under test, removed afterwards."""
    runtimes.require_standins()
    directory = wine_c_drive / "standin-tests" / uuid.uuid4().hex[:8]
    directory.mkdir(parents=True)
    yield directory
    shutil.rmtree(directory, ignore_errors=True)


@pytest.mark.parametrize("program, settings, version_line, code", [
    ("java.exe", {}, 'java version "1.8.0_201"', 0),
    ("java.exe", {"version_line": 'java version "1.4.2_03"', "exit_code": 3}, 'java version "1.4.2_03"', 3),
    ("javaw.exe", {"version_line": 'openjdk version "11.0.2"'}, 'openjdk version "11.0.2"', 0),
    ("javaw.exe", {"exit_code": 1, "javaw__exit_code": 4}, 'java version "1.8.0_201"', 4),
])
def test_java_prints_the_configured_version_to_standard_error(wine_env, place, program, settings,
                                                              version_line, code):
    jre = make_jre(place / "jre", **settings)
    result = wine(wine_env, jre.bin / program, "-version")
    assert result.returncode == code
    lines = result.stderr.decode().split("\r\n")
    assert lines[0] == version_line
    assert lines[1].startswith("Java(TM) SE Runtime Environment")
    assert result.stdout == b""


def test_extra_lines_replace_the_runtime_lines(wine_env, place):
    jre = make_jre(place / "jre", 'java version "1.3.1"', extra_line=["first", "second"])
    assert wine(wine_env, jre.bin / "java.exe", "-version").stderr == b'java version "1.3.1"\r\nfirst\r\nsecond\r\n'
    jre.configure_java(extra_line="")
    assert wine(wine_env, jre.bin / "java.exe", "-version").stderr == b'java version "1.3.1"\r\n'


def test_every_run_is_recorded_with_its_command_line(wine_env, place):
    jdk = make_jdk(place / "jdk", 'java version "1.5.0_22"')
    wine(wine_env, jdk.bin / "java.exe", "-version")
    wine(wine_env, jdk.jre.bin / "javaw.exe", "-Xmx8m", "-version")
    assert jdk.run_count() == 2
    assert jdk.runs()[0].endswith("java.exe\" -version")
    assert jdk.runs()[1].endswith("javaw.exe\" -Xmx8m -version")
    assert jdk.jre.run_count() == 1


def test_a_hanging_java_runs_until_it_is_ended(wine_env, place):
    jre = make_jre(place / "jre", hang=True)
    process = subprocess.Popen([WINE, str(jre.bin / "java.exe"), "-version"], env=wine_env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        assert wait_for(jre.run_count, timeout=60)
        assert process.poll() is None
    finally:
        process.kill()
        process.wait()


@pytest.mark.parametrize("flags, pack_kept", [(["-r"], False), ([], True)])
def test_unpack200_copies_the_pack_into_the_jar(wine_env, place, flags, pack_kept):
    jre = make_jre(place / "jre", packed=True)
    pack = jre.root / "lib" / "rt.jar.pack"
    jar = jre.root / "lib" / "new dir" / "rt.jar"
    jar.parent.mkdir()
    result = wine(wine_env, jre.bin / "unpack200.exe", *flags, jre.windows(pack), jre.windows(jar))
    assert result.returncode == 0, result.stderr
    assert jar.read_bytes() == runtimes.jar_bytes("rt.jar")
    assert pack.exists() == pack_kept
    [call] = jre.unpack_calls()
    assert call.endswith("unpack200.exe\" " + subprocess.list2cmdline([*flags, jre.windows(pack), jre.windows(jar)]))


def test_a_failing_unpack200_writes_no_jar(wine_env, place):
    jre = make_jre(place / "jre", packed=["rt.jar"], exit_code=1)
    jre.configure_unpack(exit_code=6)
    pack = jre.root / "lib" / "rt.jar.pack"
    result = wine(wine_env, jre.bin / "unpack200.exe", "-r", jre.windows(pack), jre.windows(place / "rt.jar"))
    assert result.returncode == 6
    assert pack.exists() and not (place / "rt.jar").exists()


def test_jvm_dll_exports_the_invocation_functions_under_their_plain_names(arch):
    runtimes.require_standins()
    assert sorted(runtimes.dll_exports(runtimes.standin("jvm.dll"))) == [
        "JNI_CreateJavaVM", "JNI_GetCreatedJavaVMs", "JNI_GetDefaultJavaVMInitArgs"]
    assert "JNI_CreateJavaVM" not in runtimes.dll_exports(runtimes.standin("jvm_noexport.dll"))


@pytest.mark.parametrize("jvm, settings, code", [
    ("ok", {"create_result": -1}, 3),     # loaded, found, creation fails with JNI_ERR
    ("ok", {}, 0),                        # the recording VM runs main
    ("ok", {"throw_in": "main"}, 4),
    ("noexport", {}, 2),                  # loaded, no JNI_CreateJavaVM
])
def test_jvm_dll_loads_and_records_its_calls(wine_env, place, jvm, settings, code):
    jre = make_jre(place / "jre", jvm=jvm)
    jre.configure_jvm(**settings)
    probe = runtimes.standin("jvm_probe.exe")
    result = wine(wine_env, probe, jre.windows(jre.jvm_dirs[0] / "jvm.dll"), "-Xmx64m", "-Dx=a b")
    assert result.returncode == code, result.stdout
    if jvm == "noexport":
        assert jre.jvm_calls() == []
        return
    assert jre.create_calls() == [
        ("JNI_CreateJavaVM version=0x00010002 nOptions=3 ignoreUnrecognized=1", ["-Xmx64m", "-Dx=a b", "exit"])]
    if code == 0:
        assert 'CallStaticVoidMethod com/example/Main main ["one two", "three"]' in jre.jvm_calls()
        assert jre.jvm_calls()[-1] == "DestroyJavaVM"
