"""What the benchmarks share: the Wine environment of the project's prefix
with one Wine server kept warm, applications built with tovex, and starts
timed from outside, round by round, so that a busy machine slows every
compared start alike."""
import statistics
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))
import harness  # noqa: E402
import runtimes  # noqa: E402

ARCHITECTURES = runtimes.ARCHITECTURES
STUBS = harness.STUBS
WINE = harness.WINE
BUILD_TREES = {"x86": REPO / "build" / "win", "x64": REPO / "build" / "win64"}
# Where Windows keeps its own DLLs for a program of each architecture, in a
# 64-bit prefix.
SYSTEM_FOLDERS = {"x86": Path("windows") / "syswow64", "x64": Path("windows") / "system32"}
TOVEX_KEY = r"HKCU\SOFTWARE\morrowfield\tovex"
VERSION_CACHE_KEY = TOVEX_KEY + r"\jvms"
PIDS_KEY = harness.PIDS_KEY


def wine_env():
    env = harness.wine_environment()
    # The runtime comes from each application's own search, never from the caller.
    env.pop("JAVA_HOME", None)
    return env


def drive_c(env):
    return Path(env["WINEPREFIX"]) / "drive_c"


def start_wine(env):
    """Makes the prefix when missing and starts one Wine server for every timed
    start, its services already running (scripts/wine-start)."""
    harness.start_wine(env, keep=True)


def stop_wine(env):
    subprocess.run(["wineserver", "-k"], env=env, capture_output=True)


def wine(env, *args, timeout=120):
    return subprocess.run([harness.WINE, *args], env=env, capture_output=True, timeout=timeout,
                          stdin=subprocess.DEVNULL)


def forget_key(env, key):
    wine(env, "reg", "delete", key, "/f")


def build_app(directory, project_text, arch, files=()):
    """An application executable built with tovex, as a user builds one (the
    tool's defaults: the Java runtime library included, the extensions on),
    on the stub of the architecture; files: (name, bytes) to include."""
    directory.mkdir(parents=True, exist_ok=True)
    for name, data in files:
        (directory / name).write_bytes(data)
        project_text += f'\n[[files]]\npath = "{name}"\n'
    return harness.build_executable(directory, project_text, arch=arch, defaults=True)


class Start:
    """One kind of start to time: a Windows program and its arguments, what
    must hold before each start (prepare, untimed), and the exit code it must
    end with."""

    def __init__(self, name, program, env, prepare=None, exit_code=0, arguments=()):
        self.name = name
        self.program = program
        self.arguments = list(arguments)
        self.env = env
        self.prepare = prepare
        self.exit_code = exit_code
        self.samples = []

    def run_once(self, record=True):
        if self.prepare:
            self.prepare()
        begin = time.perf_counter()
        try:
            result = subprocess.run([harness.WINE, str(self.program), *self.arguments], env=self.env,
                                    capture_output=True, timeout=120, stdin=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            sys.exit(f"{self.name}: {self.program} still ran after 120 s")
        if record:
            self.samples.append(time.perf_counter() - begin)
        if result.returncode != self.exit_code:
            sys.exit(f"{self.name}: {self.program} ended with {result.returncode}, not {self.exit_code}: "
                     f"{result.stderr.decode(errors='replace')}")

    @property
    def median(self):
        return statistics.median(self.samples)


def time_rounds(starts, rounds):
    """Runs every start once per round, each round in another order, and keeps
    each one's times: a slower stretch of a busy machine falls on all alike."""
    for start in starts:
        start.run_once(record=False)  # warms the file cache and fills the caches
    for round_number in range(rounds):
        shift = round_number % len(starts)
        for start in starts[shift:] + starts[:shift]:
            start.run_once()


def paired_ratio(numerator, denominator):
    """The median of each round's ratio of two starts' times: the two starts of
    one round see much the same load."""
    return statistics.median(a / b for a, b in zip(numerator.samples, denominator.samples))
