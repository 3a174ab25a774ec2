"""Start-up cost of the runtime search under Wine, against the floor.

Three starts, timed in the same run under the same Wine server:
  floor   a Windows program that only exits;
  cached  an application whose runtime's version comes from the version cache;
  probe   the same application with the cache emptied, so java.exe is run.
Prints the medians and the ratios to the floor. Run by `make bench`.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))
from runtimes import make_jre, standins_built  # noqa: E402

ROUNDS = 15
CACHE_KEY = r"HKCU\SOFTWARE\morrowfield\tovex\jvms"


def wine_env():
    env = dict(os.environ)
    env.setdefault("WINEPREFIX", str(REPO / "build" / "wineprefix"))
    env.update(WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    # `wine` starts a 64-bit program with the 64-bit loader (scripts/wine-bin/wine).
    env["PATH"] = f"{REPO / 'scripts' / 'wine-bin'}{os.pathsep}{env.get('PATH', '')}"
    for name in ("TOVEX_LOG", "VANDREL_LOG", "JAVA_HOME"):
        env.pop(name, None)
    return env


def start_wine(env):
    """One Wine server for every timed start, its services already running."""
    subprocess.run(["wineserver", "-p"], env=env)
    # The first Wine process starts the prefix's services, which keep the
    # standard handles they inherit: give them none of ours.
    subprocess.run(["wine", "cmd", "/c", "exit", "0"], env=env, timeout=120, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


STUBS = {"x86": REPO / "dist" / "launcher.exe", "x64": REPO / "dist" / "launcher64.exe"}


def build_app(project_text, work, arch="x86"):
    """An application executable built with tovex from the project text, on
    the stub of the architecture."""
    project = work / "app.toml"
    project.write_text(project_text, encoding="utf-8")
    app = work / "app.exe"
    subprocess.run([str(REPO / "dist" / "tovex"), "build", str(project), "-o", str(app),
                    "--stub", str(STUBS[arch])], check=True, stdout=subprocess.DEVNULL)
    return app


def timed(command, env):
    samples = []
    for _ in range(ROUNDS):
        start = time.perf_counter()
        result = subprocess.run(command, env=env, capture_output=True)
        samples.append(time.perf_counter() - start)
        if result.returncode != 0:
            sys.exit(f"{command[1]} ended with {result.returncode}: {result.stderr.decode(errors='replace')}")
    return statistics.median(samples)


def main():
    if not standins_built():
        sys.exit("build the stand-ins first: make")
    env = wine_env()
    subprocess.run([str(REPO / "scripts" / "wine-prefix")], env=env, check=True, stdout=subprocess.DEVNULL)
    drive_c = Path(env["WINEPREFIX"]) / "drive_c"
    root = drive_c / "tovex-search-bench"
    shutil.rmtree(root, ignore_errors=True)
    jre = make_jre(root / "jre", 'java version "1.8.0_201"')
    work = Path(tempfile.mkdtemp(prefix="tovex-bench-"))
    try:
        app = build_app(f"jvmSearchSequence = 'A{jre.windows()};'\n", work)
        floor_exe = REPO / "build" / "win" / "bench" / "exit_only.exe"

        start_wine(env)

        def forget_cache():
            subprocess.run(["wine", "reg", "delete", CACHE_KEY, "/f"], env=env, capture_output=True)

        floor = timed(["wine", str(floor_exe)], env)
        forget_cache()
        subprocess.run(["wine", str(app)], env=env, capture_output=True)  # fills the cache
        cached = timed(["wine", str(app)], env)
        probe_samples = []
        for _ in range(ROUNDS):
            forget_cache()
            start = time.perf_counter()
            subprocess.run(["wine", str(app)], env=env, capture_output=True, check=True)
            probe_samples.append(time.perf_counter() - start)
        probe = statistics.median(probe_samples)

        print(f"floor (exit only) {floor * 1000:7.1f} ms")
        print(f"search, cached    {cached * 1000:7.1f} ms  ratio {cached / floor:.2f}")
        print(f"search, probing   {probe * 1000:7.1f} ms  ratio {probe / floor:.2f}")
    finally:
        shutil.rmtree(work, ignore_errors=True)
        shutil.rmtree(root, ignore_errors=True)
        subprocess.run(["wineserver", "-k"], env=env, capture_output=True)


if __name__ == "__main__":
    main()
