"""End-to-end harness: builds application executables with tovex and runs them
under Wine in the project's own prefix, as a user would start them."""
import os
import shutil
import subprocess
import time
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
DIST = REPO / "dist"
TOVEX = Path(os.environ.get("TOVEX_BIN", DIST / "tovex"))
STUB = DIST / "launcher.exe"

NO_RUNTIME_EXIT = 83


def _wine_environment():
    env = dict(os.environ)
    env.setdefault("WINEPREFIX", str(REPO / "build" / "wineprefix"))
    env["WINEDEBUG"] = "-all"
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    # The launcher's own switches come from each test, never from the caller.
    for name in ("TOVEX_LOG", "VANDREL_LOG", "TOVEX_JAVA_HOME", "VANDREL_JAVA_HOME"):
        env.pop(name, None)
    return env


@pytest.fixture(scope="session")
def wine_env():
    if shutil.which("wine") is None:
        pytest.skip("wine is not installed (run `make`)")
    env = _wine_environment()
    subprocess.run([str(REPO / "scripts" / "wine-prefix")], env=env, check=True,
                   stdout=subprocess.DEVNULL)
    return env


@pytest.fixture(scope="session")
def wine_c_drive(wine_env):
    return Path(wine_env["WINEPREFIX"]) / "drive_c"


@pytest.fixture(scope="session")
def wine_temp_dir(wine_env):
    """The Unix path of the directory that TMP names inside the prefix."""
    out = subprocess.run(["wine", "cmd", "/c", "echo %TMP%"], env=wine_env,
                         capture_output=True, text=True, check=True).stdout.strip()
    unix = subprocess.run(["winepath", "-u", out], env=wine_env, capture_output=True,
                          text=True, check=True).stdout.strip()
    return Path(unix)


class App:
    """An application executable built for a test, and the ways to start it."""

    def __init__(self, exe, env):
        self.exe = Path(exe)
        self.env = env

    def run(self, *args, extra_env=None, timeout=120):
        env = dict(self.env)
        env.update(extra_env or {})
        return subprocess.run(["wine", str(self.exe), *args], env=env,
                              capture_output=True, timeout=timeout)

    def start(self, *args, extra_env=None):
        env = dict(self.env)
        env.update(extra_env or {})
        return subprocess.Popen(["wine", str(self.exe), *args], env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def build_executable(project_dir, project_text, name="app"):
    project_dir = Path(project_dir)
    project_dir.mkdir(parents=True, exist_ok=True)
    project = project_dir / f"{name}.toml"
    project.write_text(project_text, encoding="utf-8")
    out = project_dir / f"{name}.exe"
    result = subprocess.run([str(TOVEX), "build", str(project), "-o", str(out),
                             "--stub", str(STUB)], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    return out


@pytest.fixture
def make_app(tmp_path, wine_env):
    """make_app(project_text) -> App built with tovex from that project file."""
    if not TOVEX.exists() or not STUB.exists():
        pytest.skip("dist/tovex and dist/launcher.exe are built by `make`")

    def make(project_text, name="app", directory=None):
        exe = build_executable(directory or tmp_path, project_text, name)
        return App(exe, wine_env)

    return make


def wait_for(condition, timeout=30.0, step=0.2):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(step)
    return None
