"""Finding a Java runtime with stand-in runtimes: which one the search picks,
the version cache, loading jvm.dll and the message when nothing fits."""
import os
import re
import subprocess
import time

import pytest

from harness import WINE, J142, NO_RUNTIME_EXIT, registry_view, run_logged, stderr_text
from runtimes import make_jdk, make_jre

J15 = 'java version "1.5.0_06"'

pytestmark = pytest.mark.usefixtures("standins")


def project(sequence, extra=""):
    return f"jvmSearchSequence = '{sequence}'\n" + extra


def test_java_home_is_found_loaded_and_its_version_cached(make_app, rt, temp_logs):
    jre = make_jre(rt / "jre", J142)
    app = make_app(project("EJAVA_HOME;"))
    env = {"JAVA_HOME": jre.windows()}

    result, log = run_logged(app, temp_logs, env=env)
    assert result.returncode == 0, stderr_text(result)
    assert "Testing location JAVA_HOME (type E)" in log
    assert "got version from execution 1.4.2_03" in log
    assert "Loading of JVM-DLL successful" in log
    assert jre.run_count() == 1

    # The second start takes the version from the cache and runs nothing.
    result, log = run_logged(app, temp_logs, env=env)
    assert result.returncode == 0
    assert "got version from registry 1.4.2_03" in log
    assert jre.run_count() == 1

    # A changed java.exe is probed again.
    java = jre.bin / "java.exe"
    later = time.time() + 60
    os.utime(java, (later, later))
    result, log = run_logged(app, temp_logs, env=env)
    assert "got version from execution 1.4.2_03" in log
    assert jre.run_count() == 2


def test_forward_slashes_in_the_variable_are_accepted(make_app, rt, temp_logs):
    jre = make_jre(rt / "jre", J142)
    result, _ = run_logged(make_app(project("EJAVA_HOME;")), temp_logs,
                      env={"JAVA_HOME": jre.windows().replace("\\", "/")})
    assert result.returncode == 0, stderr_text(result)


@pytest.mark.parametrize("minimum, maximum, found", [
    ("1.4", "", True),
    ("1.4.2", "1.4", True),
    ("1.5", "", False),
    ("", "1.3", False),
])
def test_the_version_range_decides(make_app, rt, temp_logs, minimum, maximum, found):
    jre = make_jre(rt / "jre", J142)
    app = make_app(project("EJAVA_HOME;", f'minJavaVersion = "{minimum}"\nmaxJavaVersion = "{maximum}"\n'))
    result, log = run_logged(app, temp_logs, env={"JAVA_HOME": jre.windows()})
    assert (result.returncode == 0) == found, log
    if not found:
        assert result.returncode == NO_RUNTIME_EXIT
        assert stderr_text(result).startswith("No JVM could be found on your system.")


def test_sequence_order_first_acceptable_wins(make_app, rt, temp_logs):
    old = make_jre(rt / "old", J142)
    new = make_jre(rt / "new", J15)
    app = make_app(project(f"XNOTHING;A{old.windows()};A{new.windows()};", 'minJavaVersion = "1.5"\n'))
    result, log = run_logged(app, temp_logs)
    assert result.returncode == 0
    assert "Testing location NOTHING (type X)" in log
    assert f"Trying {new.windows().lower()}\\bin\\client\\jvm.dll (exists 1)" in log


@pytest.mark.parametrize("flavour, variable, other", [
    ("wrapper", "TOVEX_JAVA_HOME", "VANDREL_JAVA_HOME"),
    ("installer", "VANDREL_JAVA_HOME", "TOVEX_JAVA_HOME"),
])
def test_the_flavour_reads_its_own_home_variable(make_app, rt, temp_logs, flavour, variable, other):
    jre = make_jre(rt / "jre", J142)
    app = make_app(f'launcherFlavour = "{flavour}"\n')
    result, _ = run_logged(app, temp_logs, env={other: jre.windows()})
    assert result.returncode == NO_RUNTIME_EXIT
    result, _ = run_logged(app, temp_logs, env={variable: jre.windows()})
    assert result.returncode == 0


def test_preferred_runtime_file_comes_first(make_app, rt, temp_logs):
    preferred = make_jre(rt / "preferred", J142)
    other = make_jre(rt / "other", J15)
    app = make_app(project(f"A{other.windows()};"))
    vandrel = app.exe.parent / ".vandrel"
    vandrel.mkdir()
    (vandrel / "pref_jre.cfg").write_bytes(preferred.windows().encode() + b"\r\nignored second line\r\n")
    result, log = run_logged(app, temp_logs)
    assert result.returncode == 0
    assert f"Has preferred location {preferred.windows()}\n" in log
    assert "Using preferred location" in log
    assert other.run_count() == 0


def test_relative_pass_takes_an_old_runtime_beside_the_application(make_app, rt, temp_logs):
    app = make_app(project("R.\\jre;", 'minJavaVersion = "1.5"\n'))
    make_jre(app.exe.parent / "jre", J142)
    result, log = run_logged(app, temp_logs)
    assert result.returncode == 0, log
    assert "Testing relative location .\\jre" in log


@pytest.mark.parametrize("how, key_text", [
    ("variable", "The JAVA_HOME environment variable does not"),
    ("directory", "The JVM found at {path} is damaged."),
])
def test_a_runtime_without_the_entry_point_gets_the_message_of_how_it_was_found(
        make_app, rt, temp_logs, how, key_text):
    jre = make_jre(rt / "jre", J142, jvm="noexport")
    sequence = "EJAVA_HOME;" if how == "variable" else f"A{jre.windows()};"
    result, log = run_logged(make_app(project(sequence)), temp_logs, "-q_vdl_internal",
                        env={"JAVA_HOME": jre.windows()})
    assert result.returncode == NO_RUNTIME_EXIT
    text = stderr_text(result)
    assert text.startswith(key_text.format(path=jre.windows()))
    # Exactly one message.
    assert text.count("\n\nLog: ") == 1
    assert "Could not load functions" in log


def test_preferred_jvm_folder_and_the_builtin_order(make_app, rt, temp_logs):
    jre = make_jre(rt / "jre", J142, client=True, server=True)
    for extra, chosen in (("", "client"), ('preferredJvmFolder = "server"\n', "server")):
        app = make_app(project("EJAVA_HOME;", extra), name=f"app_{chosen}")
        result, log = run_logged(app, temp_logs, env={"JAVA_HOME": jre.windows()})
        assert result.returncode == 0
        tried = re.findall(r"^Trying (.*) \(exists \d\)$", log, re.M)
        assert tried[-1].endswith(f"\\bin\\{chosen}\\jvm.dll"), tried


def test_jdk_required_takes_the_jre_folder_of_a_jdk(make_app, rt, temp_logs):
    jre = make_jre(rt / "plainjre", J15)
    jdk = make_jdk(rt / "jdk", J142)
    app = make_app(project(f"A{jre.windows()};A{jdk.windows()};", "requireJdk = true\n"))
    result, log = run_logged(app, temp_logs)
    assert result.returncode == 0, log
    assert re.search(r"Trying .*\\jdk\\jre\\bin\\client\\jvm\.dll \(exists 1\)", log)


def test_gui_executable_needs_javaw(make_app, rt, temp_logs):
    jre = make_jre(rt / "jre", J142, javaw=False)
    app = make_app(project("EJAVA_HOME;", "executableType = 1\n"))
    result, _ = run_logged(app, temp_logs, "-q_vdl_internal", env={"JAVA_HOME": jre.windows()})
    assert result.returncode == NO_RUNTIME_EXIT


@pytest.fixture
def javasoft(wine_env, arch):
    """register(family, home): a JavaSoft runtime entry in the view of HKLM
    that the launcher under test reads (32-bit or 64-bit)."""
    base = r"HKLM\SOFTWARE\JavaSoft\Java Runtime Environment"
    view = registry_view(arch)

    def clear():
        subprocess.run([WINE, "reg", "delete", r"HKLM\SOFTWARE\JavaSoft", "/f", view], env=wine_env,
                       capture_output=True)

    def register(family, home):
        subprocess.run([WINE, "reg", "add", f"{base}\\{family}", "/v", "JavaHome", "/t", "REG_SZ", "/d", home,
                        "/f", view], env=wine_env, capture_output=True, check=True)

    clear()
    yield register
    clear()


def test_registry_discovery_prefers_the_newest_family(make_app, rt, temp_logs, javasoft):
    runtimes = {v: make_jre(rt / v.replace(".", "_"), f'java version "{v}"')
                for v in ("1.3.1_08", "1.4.2_03")}
    javasoft("1.3", runtimes["1.3.1_08"].windows())
    javasoft("1.4", runtimes["1.4.2_03"].windows())
    result, log = run_logged(make_app(project("Y;")), temp_logs)
    assert result.returncode == 0, log
    assert "got version from execution 1.4.2_03" in log
    assert runtimes["1.3.1_08"].run_count() == 0


def test_a_damaged_registry_runtime_gets_message_1005(make_app, rt, temp_logs, javasoft):
    javasoft("1.4", make_jre(rt / "jre", J142, jvm="noexport").windows())
    result, _ = run_logged(make_app(project("Y;")), temp_logs, "-q_vdl_internal")
    assert result.returncode == NO_RUNTIME_EXIT
    assert stderr_text(result).startswith("The JVM could not be started.")


def test_a_packed_runtime_in_a_folder_with_blanks_is_unpacked_before_probing(make_app, rt, temp_logs):
    jre = make_jre(rt / "Program Files" / "jre", J142, packed=True)
    app = make_app(project(f"A{jre.windows()};"))
    result, log = run_logged(app, temp_logs)
    assert result.returncode == 0, log
    calls = jre.unpack_calls()
    assert calls and all('"' in call for call in calls), calls
    assert log.index("Unpacking JRE done") < log.index("checkJavaExe")
    assert (jre.root / "lib" / "rt.jar").exists()


def test_a_damaged_runtime_on_the_search_path_gets_message_1002(make_app, rt, temp_logs):
    jre = make_jre(rt / "jre", J142, jvm=None)
    app = make_app(project("S;", f"pathPrepend = '{jre.windows()}\\bin'\n"))
    result, log = run_logged(app, temp_logs, "-q_vdl_internal")
    assert result.returncode == NO_RUNTIME_EXIT
    text = stderr_text(result)
    assert text.startswith("The JVM found in your path is damaged.")
    assert text.count("\n\nLog: ") == 1
    assert "Could not get DLL-Handle." in log


def test_a_packed_runtime_without_its_unpack_tool_is_internal_error_20(make_app, rt, temp_logs):
    jre = make_jre(rt / "jre", J142, packed=True)
    (jre.bin / "unpack200.exe").unlink()
    result, log = run_logged(make_app(project(f"A{jre.windows()};")), temp_logs, "-q_vdl_internal")
    assert result.returncode == 1
    assert stderr_text(result).startswith("An internal error occurred (error code: 20)")
    assert "could not create unpack process" in log
