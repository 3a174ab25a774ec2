"""End-to-end harness: builds application executables with tovex and runs them
under Wine in the project's own prefix, as a user would start them. The
fixtures are here; what they are built on is in harness.py."""
import re
import shutil
import subprocess
from pathlib import Path

import pytest

import runtimes
from harness import (WINE, J142, LAUNCH_PROJECT, MAIN_SLEEP_MS, STUBS, TOVEX, App, Calls, SingleInstanceApp,
                     build_executable, clear_queue, remove_queued_directories, run_logged, start_wine, unix_path,
                     win32_missing, wine_environment)
from runtimes import make_jre


@pytest.fixture(scope="session")
def wine_env():
    if not Path("/usr/lib/wine/wine64").exists():
        pytest.skip("wine is not installed (run `make`)")
    env = wine_environment()
    start_wine(env)
    return env


# On a host that cannot run 32-bit Windows programs (scripts/win32-route), the
# 32-bit tests are skipped, saying why, and tests of no architecture use x64.
WIN32_MISSING = win32_missing()
DEFAULT_ARCH = "x64" if WIN32_MISSING else "x86"


@pytest.fixture(scope="session", params=[
    pytest.param(arch, marks=pytest.mark.skipif(bool(WIN32_MISSING) and arch == "x86",
                                                reason=f"32-bit programs cannot run here: {WIN32_MISSING}"))
    for arch in runtimes.ARCHITECTURES])
def arch(request):
    """The launcher's architecture under test: "x86" or "x64". Every test that
    builds an application (make_app) or lays out runtimes (rt) runs for both."""
    return request.param


@pytest.fixture(autouse=True)
def _standins_of_the_architecture(request):
    """The stand-in runtimes of the test's architecture (the 32-bit ones for a
    test that does not depend on one)."""
    runtimes.use_architecture(request.getfixturevalue("arch") if "arch" in request.fixturenames else DEFAULT_ARCH)


@pytest.fixture(scope="session")
def wine_c_drive(wine_env):
    return Path(wine_env["WINEPREFIX"]) / "drive_c"


@pytest.fixture(scope="session")
def wine_temp_dir(wine_env):
    """The Unix path of the directory that TMP names inside the prefix."""
    out = subprocess.run([WINE, "cmd", "/c", "echo %TMP%"], env=wine_env,
                         capture_output=True, text=True, check=True).stdout.strip()
    return unix_path(wine_env, out)


@pytest.fixture
def temp_logs(wine_temp_dir):
    """temp_logs() -> the log files made in TMP since the test began, by name."""
    before = set(wine_temp_dir.glob("vdl_nlog_*"))
    return lambda: sorted(set(wine_temp_dir.glob("vdl_nlog_*")) - before)


@pytest.fixture
def make_app(tmp_path, wine_env, arch):
    """make_app(project_text) -> App built with tovex from that project file,
    on the stub of the architecture under test (defaults=True: with the
    defaults of a user's build, see build_executable)."""
    if not TOVEX.exists() or not STUBS[arch].exists():
        pytest.skip(f"dist/tovex and dist/{STUBS[arch].name} are built by `make`")

    def make(project_text, name="app", directory=None, defaults=False):
        exe = build_executable(directory or tmp_path, project_text, name, arch, defaults)
        return App(exe, wine_env)

    return make


@pytest.fixture
def rt(request, wine_env, wine_c_drive, arch):
    """A fresh folder for this test's stand-in runtimes (of the architecture
    under test) on C:, and an empty version cache."""
    root = wine_c_drive / "tovex-rt" / re.sub(r"\W+", "_", request.node.name)
    shutil.rmtree(root, ignore_errors=True)
    root.mkdir(parents=True)
    subprocess.run([WINE, "reg", "delete", r"HKCU\SOFTWARE\morrowfield\tovex\jvms", "/f"], env=wine_env,
                   capture_output=True)
    yield root
    shutil.rmtree(root, ignore_errors=True)


@pytest.fixture
def standins():
    """Skips a test when the stand-in runtimes are not built."""
    runtimes.require_standins()


@pytest.fixture
def jre(rt):
    return make_jre(rt / "jre")


@pytest.fixture
def launch(make_app, jre, temp_logs):
    """launch(extra_project_text, *args, env=...) -> (result, log, Calls)."""
    def run(extra="", *args, env=None, app=None, setup=None):
        app = app or make_app(LAUNCH_PROJECT + extra)
        if setup:
            setup(app)
        environment = {"JAVA_HOME": jre.windows()}
        environment.update(env or {})
        before = len(jre.jvm_calls())
        result, log = run_logged(app, temp_logs, *args, env=environment)
        return result, log, Calls(jre.jvm_calls()[before:])
    return run


@pytest.fixture
def running(request):
    """running(process): the process is ended when the test ends."""
    processes = []
    yield processes.append
    for process in processes:
        if process.poll() is None:
            process.kill()
            process.wait(timeout=60)


@pytest.fixture
def no_queue(wine_env):
    """An empty queue for the test; afterwards what the test queued is removed."""
    remove_queued_directories(wine_env)
    clear_queue(wine_env)
    yield
    remove_queued_directories(wine_env)
    clear_queue(wine_env)


@pytest.fixture
def app_factory(request, make_app, wine_env, wine_c_drive, wine_temp_dir):
    root = wine_c_drive / "tovex-si" / re.sub(r"\W+", "_", request.node.name)
    shutil.rmtree(root, ignore_errors=True)
    apps = []

    def make(single_instance=True, project_extra="", **jvm_settings):
        jre = make_jre(root / "jre", J142)
        jre.configure_jvm(**{"create_result": 0, "main_sleep_ms": MAIN_SLEEP_MS, **jvm_settings})
        project = ("jvmSearchSequence = 'EJAVA_HOME;'\n"
                   f"singleInstance = {'true' if single_instance else 'false'}\n" + project_extra)
        built = make_app(project, directory=root / "Single Instance App")
        app = SingleInstanceApp(built.exe, jre, wine_env, wine_temp_dir)
        app.forget_registration()
        apps.append(app)
        return app

    yield make
    for app in apps:
        app.stop()
        app.forget_registration()
    shutil.rmtree(root, ignore_errors=True)
