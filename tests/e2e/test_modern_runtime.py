"""The search for today's Java runtimes (modernRuntime = true): version lines
with text after the version, release files, numeric version bounds, the Java
9+ and vendor registry keys, runtimes bundled beside the executable and
runtimes of the other architecture; and where jvm.dll's own libraries, the
search path's java.exe and the probe's output file may come from or stay,
with or without the switch."""
import shutil
import subprocess

import pytest

from harness import WINE, NO_RUNTIME_EXIT, run_logged, stderr_text
from runtimes import (MACHINE_AMD64, MACHINE_I386, make_jre, make_modern_jdk, make_other_architecture, pe_machine,
                      standin, windows_path_on_c)

MODERN = "modernRuntime = true\n"
J21_LINE = 'openjdk version "21.0.5" 2024-10-15'
PICKED_UP = ["Picked up JAVA_TOOL_OPTIONS: -Dfile.encoding=UTF-8", "Picked up _JAVA_OPTIONS: -Xmx512m"]
BITS = {MACHINE_I386: "32-bit", MACHINE_AMD64: "64-bit"}


def machines():
    """The machine of the launcher under test (its stand-ins are of its own
    architecture) and the other one."""
    own = pe_machine(standin("jvm.dll"))
    return own, MACHINE_AMD64 if own == MACHINE_I386 else MACHINE_I386


def architecture_text(home):
    own, other = machines()
    return f"This application needs a {BITS[own]} Java runtime; the one found at {home} is {BITS[other]}."


def refusal_line(home):
    own, other = machines()
    return f"{home} is a {BITS[other]} runtime; this launcher is {BITS[own]}"


def of_other_architecture(runtime):
    return make_other_architecture(runtime, machines()[1])


pytestmark = pytest.mark.usefixtures("standins")


# The architecture message as these tests read it (a user's build has a longer default).
WRONG_ARCHITECTURE = ('msgWrongArchitecture = "This application needs a %REQUIRED_ARCH% Java runtime; '
                      'the one found at %RUNTIME_PATH% is %FOUND_ARCH%."\n')


def project(sequence, extra="", modern=True):
    return f"jvmSearchSequence = '{sequence}'\n" + (MODERN + WRONG_ARCHITECTURE if modern else "") + extra


def started(runtime):
    return len(runtime.create_calls()) == 1


def test_a_runtime_printing_picked_up_lines_and_a_dated_version_line_starts(make_app, rt, temp_logs):
    jdk = make_modern_jdk(rt / "jdk-21", J21_LINE, leading_line=PICKED_UP)
    env = {"JAVA_HOME": jdk.windows()}
    # Without the switch such a runtime gives no version.
    result, log = run_logged(make_app(project("EJAVA_HOME;", modern=False), name="plain"), temp_logs,
                             "-q_vdl_internal", env=env)
    assert result.returncode == NO_RUNTIME_EXIT
    assert "couldn't get version" in log

    result, log = run_logged(make_app(project("EJAVA_HOME;", 'minJavaVersion = "17"\n')), temp_logs, env=env)
    assert result.returncode == 0, log
    assert "got version from execution 21.0.5" in log
    assert f"Trying {jdk.windows().lower()}\\bin\\server\\jvm.dll (exists 1)" in log
    assert started(jdk)


def test_a_release_file_gives_the_version_without_running_java(make_app, rt, temp_logs):
    jdk = make_modern_jdk(rt / "jdk-17", J21_LINE, release="17.0.2")
    app = make_app(project(f"A{jdk.windows()};", 'minJavaVersion = "17"\nmaxJavaVersion = "17"\n'))
    result, log = run_logged(app, temp_logs)
    assert result.returncode == 0, log
    assert "got version from release file 17.0.2" in log
    assert jdk.run_count() == 0
    assert started(jdk)


def test_a_required_jdk_of_java_9_and_later_is_known_by_its_compiler(make_app, rt, temp_logs):
    jre = make_modern_jdk(rt / "jre-21", J21_LINE, release="21.0.5")
    jdk = make_modern_jdk(rt / "jdk-21", J21_LINE, release="21.0.5")
    (jdk.root / "bin" / "javac.exe").write_bytes(b"")
    app = make_app(project(f"A{jre.windows()};A{jdk.windows()};", "requireJdk = true\n"))
    result, log = run_logged(app, temp_logs)
    assert result.returncode == 0, log
    assert f"Trying {jdk.windows().lower()}\\bin\\server\\jvm.dll (exists 1)" in log
    assert started(jdk) and not started(jre)


@pytest.mark.parametrize("bound, version, accepted", [
    ('minJavaVersion = "11"', "9.0.4", False),
    ('minJavaVersion = "11"', "17.0.2", True),
    ('maxJavaVersion = "17"', "17.0.15", True),
    ('maxJavaVersion = "17"', "21", False),
])
def test_version_bounds_compare_numbers(make_app, rt, temp_logs, bound, version, accepted):
    jdk = make_modern_jdk(rt / "jdk", f'openjdk version "{version}" 2024-01-16')
    app = make_app(project("EJAVA_HOME;", bound + "\n"))
    result, log = run_logged(app, temp_logs, "-q_vdl_internal", env={"JAVA_HOME": jdk.windows()})
    assert (result.returncode == 0) == accepted, log
    assert started(jdk) == accepted
    if not accepted:
        reason = "too old" if bound.startswith("min") else "too new"
        assert f"(version {version}): {reason}" in log


# The registry keys these tests write, below HKLM\SOFTWARE in the launcher's own view.
REGISTRY_ROOTS = ("JavaSoft\\JDK", "JavaSoft\\JRE", "Eclipse Adoptium", "AdoptOpenJDK", "Microsoft\\JDK")


@pytest.fixture
def registered(wine_env):
    """registered(key, value, home): a runtime's home in a value of a key below
    HKLM\\SOFTWARE, in the registry view of the launcher's architecture."""
    view = "/reg:32" if machines()[0] == MACHINE_I386 else "/reg:64"

    def clear():
        for root in REGISTRY_ROOTS:
            subprocess.run([WINE, "reg", "delete", f"HKLM\\SOFTWARE\\{root}", "/f", view], env=wine_env,
                           capture_output=True)

    def register(key, value, home):
        subprocess.run([WINE, "reg", "add", f"HKLM\\SOFTWARE\\{key}", "/v", value, "/t", "REG_SZ", "/d", home,
                        "/f", view], env=wine_env, capture_output=True, check=True)

    clear()
    yield register
    clear()


@pytest.mark.parametrize("key, value, trailing", [
    ("Eclipse Adoptium\\JDK\\17.0.5.8\\hotspot\\MSI", "Path", "\\"),  # the installation folder, as the installer writes it
    ("JavaSoft\\JDK\\17", "JavaHome", ""),
])
def test_a_runtime_registered_by_todays_installers_starts(make_app, rt, temp_logs, registered, key, value, trailing):
    jdk = make_modern_jdk(rt / "jdk-17", 'openjdk version "17.0.5" 2022-10-18')
    registered(key, value, jdk.windows() + trailing)
    result, _ = run_logged(make_app(project("Y;", modern=False), name="plain"), temp_logs, "-q_vdl_internal")
    assert result.returncode == NO_RUNTIME_EXIT

    result, log = run_logged(make_app(project("Y;", 'minJavaVersion = "11"\n')), temp_logs)
    assert result.returncode == 0, log
    assert started(jdk)


def test_a_runtime_bundled_beside_the_executable_starts(make_app, temp_logs):
    app = make_app(project("Ajre;", 'minJavaVersion = "21"\n'))
    jre = make_modern_jdk(app.exe.parent / "jre", J21_LINE, release="21.0.5")
    result, log = run_logged(app, temp_logs)
    assert result.returncode == 0, log
    assert started(jre)


@pytest.mark.parametrize("minimum", ["", "99"])
def test_a_bundled_runtime_of_the_other_architecture_is_never_loaded(make_app, temp_logs, minimum):
    # With minimum 99 only the relative pass, which asks for no version, could take it.
    app = make_app(project("Ajre;", f'minJavaVersion = "{minimum}"\n'))
    jre = of_other_architecture(make_modern_jdk(app.exe.parent / "jre", J21_LINE, release="21.0.5"))
    result, log = run_logged(app, temp_logs, "-q_vdl_internal")
    assert result.returncode == NO_RUNTIME_EXIT, log
    assert jre.jvm_calls() == []
    assert "Testing relative location jre" in log
    assert refusal_line("") in log  # the log names the folder in its short form
    home = z_drive_path(app.exe.parent / "jre")
    assert stderr_text(result).lower().startswith(architecture_text(home).lower())


def z_drive_path(path):
    """How Wine names a path outside drive_c (Z:\\...)."""
    return "Z:" + str(path).replace("/", "\\")


def test_only_runtimes_of_the_other_architecture_end_with_their_message(make_app, rt, temp_logs):
    first = of_other_architecture(make_modern_jdk(rt / "jdk64", J21_LINE))
    second = of_other_architecture(make_modern_jdk(rt / "jre64", J21_LINE, release="21.0.5"))
    app = make_app(project(f"EJAVA_HOME;A{second.windows()};"))
    result, log = run_logged(app, temp_logs, "-q_vdl_internal", env={"JAVA_HOME": first.windows()})
    assert result.returncode == NO_RUNTIME_EXIT
    text = stderr_text(result)
    assert text.lower().startswith(architecture_text(first.windows()).lower()), text
    assert "damaged" not in text
    # Neither was run or loaded, and the log says why each was refused.
    assert first.run_count() == second.run_count() == 0
    assert first.jvm_calls() == second.jvm_calls() == []
    for runtime in (first, second):
        home = runtime.windows().lower()
        assert refusal_line(home) in log
        assert f"Refused {home}\\bin\\java.exe (version unknown): other architecture" in log


@pytest.mark.parametrize("modern", [False, True])
def test_jvm_dll_takes_its_libraries_from_the_runtime_never_from_decoys(make_app, rt, wine_env, temp_logs, modern):
    jdk = make_modern_jdk(rt / "jdk", 'java version "1.8.0_402"', jvm="needs_dep")
    # A modern runtime keeps the library in bin (found only with the switch);
    # without it the library has to sit beside jvm.dll.
    library_home = jdk.bin if modern else jdk.bin / "server"
    shutil.copyfile(standin("jvmdep.dll"), library_home / "jvmdep.dll")
    current, on_path = rt / "current", rt / "onpath"
    app = make_app(project(f"A{jdk.windows()};", f"pathPrepend = '{windows_path_on_c(on_path)}'\n", modern))
    decoys = [app.exe.parent, current, on_path]
    for folder in decoys:
        folder.mkdir(exist_ok=True)
        shutil.copyfile(standin("jvmdep.dll"), folder / "jvmdep.dll")

    env = dict(wine_env, TOVEX_LOG="yes")
    result = subprocess.run([WINE, str(app.exe)], cwd=current, env=env, capture_output=True, timeout=120)
    assert result.returncode == 0, stderr_text(result)
    assert started(jdk)
    assert "standinDependency 42" in jdk.jvm_calls()
    assert (library_home / "jvmdep_loaded.log").exists()
    assert [folder for folder in decoys if (folder / "jvmdep_loaded.log").exists()] == []


def test_the_search_path_entry_looks_only_in_the_folders_of_path(make_app, rt, temp_logs):
    app = make_app(project("S;", f"pathPrepend = '{windows_path_on_c(rt / 'jre' / 'bin')}'\n", modern=False))
    # A runtime beside the executable, which the system's own search would find first.
    beside = make_jre(app.exe.parent / "beside", 'java version "1.8.0_402"')
    for name in ("java.exe", "standin.cfg"):
        shutil.copyfile(beside.bin / name, app.exe.parent / name)
    shutil.copytree(beside.bin / "client", app.exe.parent / "client")
    on_path = make_jre(rt / "jre", 'java version "1.8.0_402"')
    result, log = run_logged(app, temp_logs)
    assert result.returncode == 0, log
    assert started(on_path)
    assert not (app.exe.parent / "runs.log").exists()


def test_a_probe_leaves_no_file_in_the_temporary_folder(make_app, rt, temp_logs, wine_temp_dir):
    jre = make_jre(rt / "jre", 'java version "1.8.0_402"')
    before = set(wine_temp_dir.glob("tvx*.tmp"))
    result, log = run_logged(make_app(project("EJAVA_HOME;", modern=False)), temp_logs,
                             env={"JAVA_HOME": jre.windows()})
    assert result.returncode == 0, log
    assert "got version from execution 1.8.0_402" in log
    assert set(wine_temp_dir.glob("tvx*.tmp")) - before == set()


# ---- a runtime whose jvm.dll does not load

TRIED = 'msgNoJvm = "No runtime that loads.\\r\\nTried:\\r\\n%RUNTIMES_TRIED%"\n'


def with_damaged_library(runtime, damage):
    """A runtime whose jvm.dll is "missing" or "broken" (bytes that are no library)."""
    for folder in runtime.jvm_dirs:
        if damage == "missing":
            (folder / "jvm.dll").unlink()
        else:
            (folder / "jvm.dll").write_bytes(b"not a library\r\n" * 64)
    return runtime


REASONS = {"missing": "jvm.dll missing", "broken": "jvm.dll failed to load: "}
J8_LINE = 'java version "1.8.0_402"'


@pytest.mark.parametrize("damage", ["missing", "broken"])
def test_a_java_home_whose_jvm_dll_does_not_load_gives_way_to_the_next_entry(make_app, rt, temp_logs, damage):
    # A version line the classic search reads too.
    bad = with_damaged_library(make_modern_jdk(rt / "bad", J8_LINE), damage)
    good = make_modern_jdk(rt / "good", J8_LINE)
    sequence = f"EJAVA_HOME;A{good.windows()};"
    env = {"JAVA_HOME": bad.windows()}
    # Without the switch the search ends at the first runtime with java.exe.
    result, log = run_logged(make_app(project(sequence, modern=False), name="plain"), temp_logs, "-q_vdl_internal",
                             env=env)
    assert result.returncode == NO_RUNTIME_EXIT
    assert stderr_text(result).startswith("The JAVA_HOME environment variable does not")
    assert not started(good)

    result, log = run_logged(make_app(project(sequence, TRIED)), temp_logs, "-q_vdl_internal", env=env)
    assert result.returncode == 0, stderr_text(result) + log
    assert started(good)
    refusal = f"Refused {bad.windows()}\\bin\\java.exe (version 1.8.0_402): {REASONS[damage]}"
    assert refusal.lower() in log.lower(), log


def test_when_no_runtime_loads_the_message_names_each_and_why(make_app, rt, temp_logs):
    missing = with_damaged_library(make_modern_jdk(rt / "missing", J21_LINE, release="21.0.5"), "missing")
    broken = with_damaged_library(make_modern_jdk(rt / "broken", J21_LINE, release="21.0.5"), "broken")
    app = make_app(project(f"EJAVA_HOME;A{broken.windows()};", TRIED))
    result, log = run_logged(app, temp_logs, "-q_vdl_internal", env={"JAVA_HOME": missing.windows()})
    assert result.returncode == NO_RUNTIME_EXIT
    text = stderr_text(result)
    assert text.startswith("No runtime that loads.\r\nTried:\r\n"), text
    lines = text.split("\r\n")[2:4]
    assert lines[0].lower() == f"    {missing.windows()}\\bin\\java.exe (21.0.5): jvm.dll missing".lower(), text
    prefix = f"    {broken.windows()}\\bin\\java.exe (21.0.5): jvm.dll failed to load: ".lower()
    assert lines[1].lower().startswith(prefix), text
    # The loader's own words follow.
    assert len(lines[1]) > len(prefix), text
    assert "damaged" not in text
