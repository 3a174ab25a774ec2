"""What the end-to-end tests share: the Wine environment, applications built
with tovex and the ways to start them, their logs, message boxes and the
splash window, the deletion queue, single-instance applications, and the
projects and texts several test modules use. Fixtures built on these are
in conftest.py; stand-in runtimes are in runtimes.py, the block's layout in
blockfile.py."""
import os
import re
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

import pytest

from runtimes import standin

REPO = Path(__file__).resolve().parents[2]
DIST = REPO / "dist"
TOVEX = Path(os.environ.get("TOVEX_BIN", DIST / "tovex"))
# The two launcher stubs, by the architecture a project names.
STUBS = {"x86": DIST / "launcher.exe", "x64": DIST / "launcher64.exe"}
STUB = STUBS["x86"]

NO_RUNTIME_EXIT = 83
J142 = 'java version "1.4.2_03"'


# ---- Wine

# Every Wine program starts through these: scripts/wine-bin/wine picks the
# loader (the 32-bit route for a 32-bit program, scripts/win32-route), and
# Wine's winepath goes through it.
WINE = str(REPO / "scripts" / "wine-bin" / "wine")
WINEPATH = str(REPO / "scripts" / "wine-bin" / "winepath")


def win32_missing():
    """Why 32-bit Windows programs cannot run here, or "" when they can
    (scripts/win32-route decides, or has decided for the run around us)."""
    if os.environ.get("TOVEX_WIN32_ROUTE"):
        return ""
    if "TOVEX_WIN32_MISSING" in os.environ:
        return os.environ["TOVEX_WIN32_MISSING"]
    return subprocess.run([str(REPO / "scripts" / "win32-route"), "sh", "-c", 'printf %s "$TOVEX_WIN32_MISSING"'],
                          capture_output=True, text=True, check=True).stdout


def wine_environment():
    """The environment of a Wine program: scripts/wine-env.sh's settings
    over this process's own, without the launcher's switches."""
    script = REPO / "scripts" / "wine-env.sh"
    # Sourced with $0 naming the script: it finds the repository from there.
    listing = subprocess.run(["sh", "-c", '. "$0" && env -0', str(script)], check=True,
                             capture_output=True).stdout
    env = dict(entry.split("=", 1) for entry in listing.decode(errors="surrogateescape").split("\0") if "=" in entry)
    # The launcher's own switches come from each test, never from the caller.
    for name in ("TOVEX_LOG", "VANDREL_LOG", "TOVEX_JAVA_HOME", "VANDREL_JAVA_HOME"):
        env.pop(name, None)
    return env


def start_wine(env, keep=False):
    """Makes the prefix if need be and starts Wine's services with none of
    this process's standard handles (scripts/wine-start); with `keep` the
    Wine server stays up until `wineserver -k`."""
    subprocess.run([str(REPO / "scripts" / "wine-start"), *(["--keep"] if keep else [])], env=env, check=True,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)


def wine(env, *args, timeout=120):
    """Runs a Wine program (paths may be given as Path objects) and captures its output."""
    return subprocess.run([WINE, *map(str, args)], env=env, capture_output=True, timeout=timeout)


def registry_view(arch):
    """The reg.exe switch for the HKLM\\SOFTWARE view that a launcher of this
    architecture reads."""
    return "/reg:64" if arch == "x64" else "/reg:32"


def windows_path(env, path):
    return subprocess.run([WINEPATH, "-w", str(path)], env=env, capture_output=True, text=True,
                          check=True).stdout.strip()


def unix_path(env, path):
    return Path(subprocess.run([WINEPATH, "-u", path], env=env, capture_output=True, text=True,
                               check=True).stdout.strip())


# ---- applications and their runs


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
        return subprocess.run([WINE, str(self.exe), *args], env=env,
                              capture_output=True, timeout=timeout)

    def start(self, *args, extra_env=None):
        env = dict(self.env)
        env.update(extra_env or {})
        return subprocess.Popen([WINE, str(self.exe), *args], env=env,
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


def find_window(title):
    result = subprocess.run(["xdotool", "search", "--name", f"^{title}$"], capture_output=True,
                            text=True)
    ids = result.stdout.split()
    return ids[0] if ids else None


# ---- the splash screen

SPLASH_CLASS = "TovexSplashScreen"


def splash_windows(env):
    """The splash windows of every process: [{visible, topmost, rect, title}]."""
    # Output through a file: a Wine process that the probe brings up (the
    # desktop's) may keep a pipe open long after the probe has ended.
    with tempfile.TemporaryFile() as out:
        subprocess.run([WINE, str(standin("window_probe.exe")), SPLASH_CLASS], env=env, stdin=subprocess.DEVNULL,
                       stdout=out, stderr=subprocess.DEVNULL, timeout=120)
        out.seek(0)
        text = out.read().decode("cp1252")
    windows = []
    for line in text.splitlines():
        match = re.match(r"visible=(\d) topmost=(\d) rect=(-?\d+),(-?\d+),(-?\d+),(-?\d+) title=(.*)", line)
        if match:
            windows.append({"visible": match[1] == "1", "topmost": match[2] == "1",
                            "rect": tuple(int(match[i]) for i in range(3, 7)), "title": match[7]})
    return windows


def visible_splash(env):
    return next((w for w in splash_windows(env) if w["visible"]), None)


class Screen:
    """A screenshot of the whole X display (saved as PNG beside the test's files)."""

    def __init__(self, path):
        data = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], capture_output=True,
                              check=True).stdout
        subprocess.run(["convert", "ppm:-", str(path)], input=data, capture_output=True)
        fields = data.split(maxsplit=4)
        assert fields[0] == b"P6" and fields[3] == b"255"
        self.width, self.height, self.pixels = int(fields[1]), int(fields[2]), fields[4]

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def count(self, box, test):
        left, top, right, bottom = box
        return sum(1 for y in range(top, bottom) for x in range(left, right) if test(self.pixel(x, y)))


def calls_with(jre, text):
    return [line for line in jre.jvm_calls() if text in line]


# ---- projects and what their starts print

NO_RUNTIME_TEXT = "Nothing to run this with.\r\nInstall a runtime."

# An application whose start finds no runtime and says so (NO_RUNTIME_TEXT).
NO_RUNTIME_PROJECT = '''
applicationName = "Start-up test"
msgNoJvm = "Nothing to run this with.\\r\\nInstall a runtime."
'''
# Appended last: an application without the Java runtime library, whose
# included files are just the ones a test gives.
WITHOUT_LIBRARY = "\n[build]\nincludeRuntimeLibrary = false\n"


def stderr_text(result):
    return result.stderr.decode("cp1252")


STARTER = "com/tovex/runtime/WinLauncher"

# The settings an application built by tovex typically has: keys 102 and 104
# off, 106 and 107 on, "-J" arguments for the JVM; the runtime comes from
# JAVA_HOME.
LAUNCH_PROJECT = """\
applicationName = "Launch test"
mainClass = "com.example.Hello"
jvmSearchSequence = "EJAVA_HOME;"
redirectStderr = false
redirectStdout = false
starterFlag = true
executableType = 1
commandLineVmOptions = true
"""


class Calls:
    """What the launcher asked of the stand-in JVM in one run."""

    def __init__(self, lines):
        self.lines = lines

    def options(self):
        return [line.split("=", 1)[1] for line in self.lines if line.startswith("option=")]

    def starter_arguments(self):
        [line] = [line for line in self.lines if line.startswith(f"CallStaticVoidMethod {STARTER} main ")]
        return parse_strings(line[line.index("["):])

    def names(self):
        """Each call's name, for the order of the calls."""
        return [line.split(" ", 1)[0] for line in self.lines if not line.startswith("option")]


def parse_strings(text):
    """The strings of a recorded array, their UTF-16 escapes undone."""
    strings = []
    for quoted in re.findall(r'"((?:[^"\\]|\\.)*)"', text):
        strings.append(re.sub(r'\\u([0-9a-f]{4})|\\(.)',
                              lambda m: chr(int(m.group(1), 16)) if m.group(1) else m.group(2), quoted))
    return strings


# ---- the Windows resources of an executable


PROBE = REPO / "build" / "win" / "tests" / "standins" / "version_probe.exe"
# Where 32-bit programs cannot run (scripts/win32-route), the 64-bit build of it.
PROBE64 = REPO / "build" / "win64" / "tests" / "standins" / "version_probe.exe"


def probe(app, exe):
    """What version_probe.exe finds in the executable: its lines."""
    program = PROBE64 if win32_missing() else PROBE
    if not program.exists():
        pytest.skip("version_probe.exe is built by `make`")
    result = subprocess.run([WINE, str(program), windows_path(app.env, exe)], env=app.env,
                            capture_output=True, timeout=120)
    assert result.returncode == 0, result.stdout
    return result.stdout.decode("utf-8").replace("\r\n", "\n").splitlines()


# ---- included files and the deletion queue


QUEUE_KEY = r"HKEY_CURRENT_USER\SOFTWARE\morrowfield\tovex\temp"


def _unescape_reg(text):
    return text.replace('\\"', '"').replace("\\\\", "\\")


def read_queue(env):
    """The deletion queue's values, as the registry holds them; None when the key is absent."""
    export = Path(env["WINEPREFIX"]) / "drive_c" / "tovex-queue-export.reg"
    export.unlink(missing_ok=True)
    subprocess.run([WINE, "regedit", "/e", "C:\\tovex-queue-export.reg", QUEUE_KEY], env=env,
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
    subprocess.run([WINE, "reg", "delete", QUEUE_KEY, "/f"], env=env, capture_output=True, timeout=120)
    for name, text in values.items():
        subprocess.run([WINE, "reg", "add", QUEUE_KEY, "/v", name, "/t", "REG_SZ", "/d", text, "/f"],
                       env=env, capture_output=True, timeout=120, check=True)


def clear_queue(env):
    subprocess.run([WINE, "reg", "delete", QUEUE_KEY, "/f"], env=env, capture_output=True, timeout=120)


FILES = {
    "app.jar": bytes(range(256)) * 4,
    "empty.txt": b"",
    "big.bin": os.urandom(20000) + b"\0\xff" * 300,
    "notes.txt": "héllo\r\n".encode("cp1252"),
}


def project_with_files(directory, files=FILES, extra=""):
    text = NO_RUNTIME_PROJECT + extra + WITHOUT_LIBRARY
    directory.mkdir(parents=True, exist_ok=True)
    for name, data in files.items():
        (directory / name).write_bytes(data)
        text += f'\n[[files]]\npath = "{name}"\n'
    return text


def remove_queued_directories(env):
    for entry in queue_entries(env, "delete_dir"):
        if re.match(r"[A-Za-z]:\\.+", entry):
            shutil.rmtree(unix_path(env, entry), ignore_errors=True)


def extraction_dirs(env):
    return set(unix_path(env, "C:\\users").glob("*/Temp/tvx*.tmp_dir*"))


def extraction_dir_from_log(log_text):
    match = re.search(r"^Temp dir: (.*)$", log_text, re.M)
    assert match, log_text
    return match.group(1)


# ---- single-instance applications


PIDS_KEY = r"HKEY_CURRENT_USER\SOFTWARE\morrowfield\tovex\pids"
# How long a first instance stays in the application's main: longer than
# any test needs it; each test ends it itself.
MAIN_SLEEP_MS = 120000


def short_path(env, windows_path):
    """The 8.3 form of a path, as Wine gives it (through a batch file: the
    quoting of a for loop does not survive a command line)."""
    batch = Path(env["WINEPREFIX"]) / "drive_c" / "tovex-short-path.bat"
    batch.write_bytes(f'@for %%I in ("{windows_path}") do @echo %%~sI\r\n'.encode("cp1252"))
    out = wine(env, "cmd", "/c", "C:\\tovex-short-path.bat").stdout
    return out.decode("cp1252").strip()


def export_key(env, key, name):
    """The values of a registry key as regedit exports them: {name: text after '='}."""
    export = Path(env["WINEPREFIX"]) / "drive_c" / name
    export.unlink(missing_ok=True)
    wine(env, "regedit", "/e", "C:\\" + name, key)
    if not export.exists():
        return {}
    values = {}
    for line in export.read_bytes().decode("utf-16").splitlines():
        match = re.match(r'^"((?:[^"\\]|\\.)*)"=(.*)$', line)
        if match:
            values[match.group(1).replace("\\\\", "\\")] = match.group(2)
    return values


class SingleInstanceApp:
    """A single-instance application on C: in a folder whose name has a short
    form, with a stand-in runtime found through JAVA_HOME."""

    def __init__(self, exe, jre, env, temp_dir):
        self.exe = exe
        self.jre = jre
        self.env = dict(env, JAVA_HOME=jre.windows())
        self.temp_dir = temp_dir
        self.windows = jre.windows(exe)
        # The registry value's name: the short form in lower case.
        self.value_name = short_path(env, self.windows).lower()
        self.started = []

    def start(self, *args):
        """Starts the first instance; returns its process and its process ID
        once it has registered and runs the application's main."""
        process = subprocess.Popen([WINE, self.windows, *args], env=self.env,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        self.started.append(process)
        pid = wait_for(lambda: self.registered_pid() or (process.poll() is not None and -1), timeout=60)
        assert pid not in (None, -1), "the first instance did not register"
        assert wait_for(self.in_main, timeout=60), "the first instance did not reach main"
        return process, pid

    def in_main(self):
        return any(line.startswith("CallStaticVoidMethod") for line in self.jre.jvm_calls())

    def run(self, *args, path=None, timeout=120):
        return subprocess.run([WINE, path or self.windows, *args], env=self.env,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)

    def registry_value(self):
        return export_key(self.env, PIDS_KEY, "tovex-pids-export.reg").get(self.value_name)

    def registered_pid(self):
        """The process ID registered as a 4-byte REG_DWORD, which regedit
        exports as dword:; None otherwise."""
        value = self.registry_value()
        if value is None or not value.startswith("dword:"):
            return None
        return int(value[len("dword:"):], 16)

    def forget_registration(self):
        wine(self.env, "reg", "delete", PIDS_KEY, "/v", self.value_name, "/f")

    def hand_over_file(self, pid):
        return self.temp_dir / f"tvx_p{pid}.tmp"

    def stop(self):
        for process in self.started:
            if process.poll() is None:
                process.kill()
            process.wait(timeout=60)
