"""The launcher's own start-up overhead under Wine: from process start to the
JNI_CreateJavaVM call, against a Windows program that only exits.

Two starts, timed in the same run under the same Wine server:
  floor   a Windows program that only exits;
  launch  an application (with the Java runtime library included, as every
          tovex build has it) whose stand-in runtime ends the process inside
          JNI_CreateJavaVM: everything the launcher does before Java runs.
Both are timed from outside (start to end of the Wine process); the stand-in
also records how long after the process's creation the call came. Prints
the medians and the ratio to the floor. Run by `make bench`.
"""
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

from search_bench import REPO, ROUNDS, build_app, start_wine, timed, wine_env

sys.path.insert(0, str(REPO / "tests" / "e2e"))
from runtimes import make_jre, set_config, standins_built  # noqa: E402


def main():
    if not standins_built():
        sys.exit("build the stand-ins first: make")
    env = wine_env()
    subprocess.run([str(REPO / "scripts" / "wine-prefix")], env=env, check=True, stdout=subprocess.DEVNULL)
    root = Path(env["WINEPREFIX"]) / "drive_c" / "tovex-launch-bench"
    shutil.rmtree(root, ignore_errors=True)
    jre = make_jre(root / "jre", 'java version "1.8.0_201"')
    for directory in jre.jvm_dirs:
        set_config(directory, create_exit_code=0)
    work = Path(tempfile.mkdtemp(prefix="tovex-bench-"))
    try:
        app = build_app(f"jvmSearchSequence = 'A{jre.windows()};'\nmainClass = 'com.example.Main'\n", work)
        floor_exe = REPO / "build" / "win" / "bench" / "exit_only.exe"

        start_wine(env)
        subprocess.run(["wine", str(app)], env=env, capture_output=True)  # fills the version cache

        floor = timed(["wine", str(floor_exe)], env)
        launch = timed(["wine", str(app)], env)
        ages = [int(m) for line in jre.jvm_calls()
                for m in re.findall(r"^JNI_CreateJavaVM reached after (\d+) ms$", line)][-ROUNDS:]

        print(f"floor (exit only)          {floor * 1000:7.1f} ms")
        print(f"start to JNI_CreateJavaVM  {launch * 1000:7.1f} ms  ratio {launch / floor:.2f}")
        if ages:
            print(f"  inside the process: median {statistics.median(ages)} ms after its creation")
    finally:
        shutil.rmtree(work, ignore_errors=True)
        shutil.rmtree(root, ignore_errors=True)
        subprocess.run(["wineserver", "-k"], env=env, capture_output=True)


if __name__ == "__main__":
    main()
