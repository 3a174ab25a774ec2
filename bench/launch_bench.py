"""The launcher's own start-up overhead under Wine: from process start to the
JNI_CreateJavaVM call, against a Windows program that only exits.

Two starts, timed in the same run under the same Wine server:
  floor   a Windows program that only exits;
  launch  an application (with the Java runtime library included, as every
          tovex build has it) whose stand-in runtime ends the process inside
          JNI_CreateJavaVM: everything the launcher does before Java runs.
Both are timed from outside (start to end of the Wine process); the stand-in
also records how long after the process's creation the call came. Prints
the medians and the ratio to the floor, for the 32-bit (x86) and the 64-bit
(x64) launcher, each against a floor program and stand-in runtime of its own
architecture, and the size of each stub. Run by `make bench`.
"""
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

from search_bench import REPO, ROUNDS, STUBS, build_app, start_wine, timed, wine_env

sys.path.insert(0, str(REPO / "tests" / "e2e"))
import runtimes  # noqa: E402
from runtimes import make_jre, set_config, standins_built  # noqa: E402

BUILD_TREES = {"x86": REPO / "build" / "win", "x64": REPO / "build" / "win64"}


def bench(arch, env, root, work):
    """Times one architecture's launcher and prints its lines."""
    runtimes.use_architecture(arch)
    if not standins_built():
        sys.exit(f"build the {arch} stand-ins first: make")
    jre = make_jre(root / arch / "jre", 'java version "1.8.0_201"')
    for directory in jre.jvm_dirs:
        set_config(directory, create_exit_code=0)
    (work / arch).mkdir()
    app = build_app(f"jvmSearchSequence = 'A{jre.windows()};'\nmainClass = 'com.example.Main'\n", work / arch, arch)
    floor_exe = BUILD_TREES[arch] / "bench" / "exit_only.exe"
    subprocess.run(["wine", str(app)], env=env, capture_output=True)  # fills the version cache

    floor = timed(["wine", str(floor_exe)], env)
    launch = timed(["wine", str(app)], env)
    ages = [int(m) for line in jre.jvm_calls()
            for m in re.findall(r"^JNI_CreateJavaVM reached after (\d+) ms$", line)][-ROUNDS:]

    print(f"{arch}: stub {STUBS[arch].name} {STUBS[arch].stat().st_size / 1024:.0f} KB")
    print(f"{arch}: floor (exit only)          {floor * 1000:7.1f} ms")
    print(f"{arch}: start to JNI_CreateJavaVM  {launch * 1000:7.1f} ms  ratio {launch / floor:.2f}")
    if ages:
        print(f"{arch}:   inside the process: median {statistics.median(ages)} ms after its creation")


def main():
    env = wine_env()
    subprocess.run([str(REPO / "scripts" / "wine-prefix")], env=env, check=True, stdout=subprocess.DEVNULL)
    root = Path(env["WINEPREFIX"]) / "drive_c" / "tovex-launch-bench"
    shutil.rmtree(root, ignore_errors=True)
    work = Path(tempfile.mkdtemp(prefix="tovex-bench-"))
    try:
        start_wine(env)
        for arch in runtimes.ARCHITECTURES:
            bench(arch, env, root, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
        shutil.rmtree(root, ignore_errors=True)
        subprocess.run(["wineserver", "-k"], env=env, capture_output=True)


if __name__ == "__main__":
    main()
