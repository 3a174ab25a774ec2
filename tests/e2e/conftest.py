"""End-to-end harness: builds application executables with tovex and runs them
under Wine in the project's own prefix, as a user would start them."""
import os
import shutil
import subprocess
import time
from pathlib import Path

import pytest

import runtimes

REPO = Path(__file__).resolve().parents[2]
DIST = REPO / "dist"
TOVEX = Path(os.environ.get("TOVEX_BIN", DIST / "tovex"))
# The two launcher stubs, by the architecture a project names.
STUBS = {"x86": DIST / "launcher.exe", "x64": DIST / "launcher64.exe"}
STUB = STUBS["x86"]

NO_RUNTIME_EXIT = 83


def _wine_environment():
    env = dict(os.environ)
    env.setdefault("WINEPREFIX", str(REPO / "build" / "wineprefix"))
    env["WINEDEBUG"] = "-all"
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    # `wine` starts a 64-bit program with the 64-bit loader (scripts/wine-bin/wine).
    env["PATH"] = f"{REPO / 'scripts' / 'wine-bin'}{os.pathsep}{env.get('PATH', '')}"
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
    # The first Wine process starts the prefix's services, which keep the
    # standard handles they inherit: started here with none, no test's
    # captured output waits on them.
    subprocess.run(["wine", "cmd", "/c", "exit", "0"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
    return env


@pytest.fixture(scope="session", params=runtimes.ARCHITECTURES)
def arch(request):
    """The launcher's architecture under test: "x86" or "x64". Every test that
    builds an application (make_app) or lays out runtimes (rt) runs for both."""
    return request.param


@pytest.fixture(autouse=True)
def _standins_of_the_architecture(request):
    """The stand-in runtimes of the test's architecture (the 32-bit ones for a
    test that does not depend on one)."""
    runtimes.use_architecture(request.getfixturevalue("arch") if "arch" in request.fixturenames else "x86")


def registry_view(arch):
    """The reg.exe switch for the HKLM\\SOFTWARE view that a launcher of this
    architecture reads."""
    return "/reg:64" if arch == "x64" else "/reg:32"


@pytest.fixture(scope="session")
def wine_c_drive(wine_env):
    return Path(wine_env["WINEPREFIX"]) / "drive_c"


@pytest.fixture(scope="session")
def wine_temp_dir(wine_env):
    """The Unix path of the directory that TMP names inside the prefix."""
    out = subprocess.run(["wine", "cmd", "/c", "echo %TMP%"], env=wine_env,
                         capture_output=True, text=True, check=True).stdout.strip()
    return unix_path(wine_env, out)


@pytest.fixture
def temp_logs(wine_temp_dir):
    """temp_logs() -> the log files made in TMP since the test began, by name."""
    before = set(wine_temp_dir.glob("vdl_nlog_*"))
    return lambda: sorted(set(wine_temp_dir.glob("vdl_nlog_*")) - before)


def run_logged(app, temp_logs, *args, env=None):
    """Runs the application with the log on: its exit, and this run's log text
    with line ends as written by a C program in text mode reduced to LF."""
    environment = {"TOVEX_LOG": "yes"}
    environment.update(env or {})
    before = set(temp_logs())
    result = app.run(*args, extra_env=environment)
    [log] = set(temp_logs()) - before
    return result, log.read_bytes().decode("cp1252").replace("\r\n", "\n")


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


def build_executable(project_dir, project_text, name="app", arch="x86", defaults=False):
    """Builds with --plain (the block holds what the project gives) unless
    `defaults`: then as a user's build, with the tool's defaults and checks."""
    project_dir = Path(project_dir)
    project_dir.mkdir(parents=True, exist_ok=True)
    project = project_dir / f"{name}.toml"
    project.write_text(project_text, encoding="utf-8")
    out = project_dir / f"{name}.exe"
    result = subprocess.run([str(TOVEX), "build", str(project), "-o", str(out),
                             "--stub", str(STUBS[arch]), *([] if defaults else ["--plain"])],
                            capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    return out


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
    import re
    root = wine_c_drive / "tovex-rt" / re.sub(r"\W+", "_", request.node.name)
    shutil.rmtree(root, ignore_errors=True)
    root.mkdir(parents=True)
    subprocess.run(["wine", "reg", "delete", r"HKCU\SOFTWARE\morrowfield\tovex\jvms", "/f"], env=wine_env,
                   capture_output=True)
    yield root
    shutil.rmtree(root, ignore_errors=True)


def wait_for(condition, timeout=30.0, step=0.2):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(step)
    return None


def dismiss_message_box(window, process, attempts=10):
    """Presses Return on a message box until the process that shows it ends:
    without a window manager a key sent to a window that is just being
    activated is now and then lost. Waits for the end as process.wait does."""
    for _ in range(attempts):
        subprocess.run(["xdotool", "windowactivate", "--sync", str(window)], capture_output=True)
        subprocess.run(["xdotool", "key", "--window", str(window), "Return"], capture_output=True)
        try:
            return process.wait(timeout=6)
        except subprocess.TimeoutExpired:
            pass
    return process.wait(timeout=60)


QUEUE_KEY = r"HKEY_CURRENT_USER\SOFTWARE\morrowfield\tovex\temp"


def _unescape_reg(text):
    return text.replace('\\"', '"').replace("\\\\", "\\")


def read_queue(env):
    """The deletion queue's values, as the registry holds them; {} when the key is absent."""
    export = Path(env["WINEPREFIX"]) / "drive_c" / "tovex-queue-export.reg"
    export.unlink(missing_ok=True)
    subprocess.run(["wine", "regedit", "/e", "C:\\tovex-queue-export.reg", QUEUE_KEY], env=env,
                   capture_output=True, timeout=120)
    if not export.exists():
        return None
    values = {}
    for line in export.read_bytes().decode("utf-16").splitlines():
        if line.startswith('"') and '"="' in line:
            name, value = line.split('"="', 1)
            values[name[1:]] = _unescape_reg(value[:-1])
        elif line.startswith('"') and '"=hex(1):' in line:
            # A text stored without its terminator is exported as bytes.
            name, value = line.split('"=hex(1):', 1)
            raw = bytes(int(b, 16) for b in value.replace("\\", "").split(",") if b.strip())
            values[name[1:]] = raw.decode("utf-16-le").rstrip("\0")
    return values


def queue_entries(env, name):
    values = read_queue(env) or {}
    return [entry for entry in values.get(name, "").split(";") if entry]


def write_queue(env, **values):
    subprocess.run(["wine", "reg", "delete", QUEUE_KEY, "/f"], env=env, capture_output=True, timeout=120)
    for name, text in values.items():
        subprocess.run(["wine", "reg", "add", QUEUE_KEY, "/v", name, "/t", "REG_SZ", "/d", text, "/f"],
                       env=env, capture_output=True, timeout=120, check=True)


def clear_queue(env):
    subprocess.run(["wine", "reg", "delete", QUEUE_KEY, "/f"], env=env, capture_output=True, timeout=120)


def windows_path(env, path):
    return subprocess.run(["winepath", "-w", str(path)], env=env, capture_output=True, text=True,
                          check=True).stdout.strip()


def unix_path(env, path):
    return Path(subprocess.run(["winepath", "-u", path], env=env, capture_output=True, text=True,
                               check=True).stdout.strip())
