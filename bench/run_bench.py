"""The launcher's benchmarks under Wine, for the 32-bit (x86) and the 64-bit
(x64) launcher, each against programs and stand-in runtimes of its own
architecture; run by `make bench`. Prints each architecture's measurements,
then one table: what, x86, x64, goal, met.

  stub          the size of dist/launcher.exe and dist/launcher64.exe, and
                whether their import tables name Windows' own DLLs only;
  cached start  from process start to JNI_CreateJavaVM (the stand-in
                runtime ends the process there) of an application built as a
                user builds one, its runtime's version from the version
                cache, against three floors: a program that only exits, one
                that only exits but is loaded as the launcher is (the same
                imports, subsystem and manifest: bench/make_same_imports.py),
                and that one loading the same runtime's jvm.dll and entering
                its JNI_CreateJavaVM (bench/RuntimeFloor.cpp): above it is the
                launcher's own work alone;
  first start   the same with the version cache emptied before each start:
                a runtime without a release file must run java.exe
                -version, one with a release file (Java 9 and later) never;
                each against its cached start;
  extraction    bench/ExtractionBench.cpp: 100 MB of included files against
                CopyFile of the same bytes;
  single        a second start of a running single-instance application
  instance      that includes 8 MB: its time, and whether it extracted
                anything (a log of one more start, and the temporary folder);
  reuse         a start that reuses the extracted 8 MB (reuseExtraction)
                against a start that extracts them.

Every start of one architecture is timed in the same rounds, each round in
another order, under one Wine server kept warm. Times are medians; a ratio
is the median of the rounds' ratios, as the two starts of one round see
much the same load of a busy machine.
ROUNDS=N in the environment sets the rounds (default 31).
"""
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import time

from pe_imports import foreign_dlls, imports
from wine_bench import (WINE, ARCHITECTURES, BUILD_TREES, PIDS_KEY, STUBS, SYSTEM_FOLDERS, VERSION_CACHE_KEY,
                        Start, build_app, drive_c, forget_key, paired_ratio, runtimes, start_wine, stop_wine,
                        time_rounds, wine, wine_env)

ROUNDS = int(os.environ.get("ROUNDS", "31"))
STUB_GOAL = 160 * 1024
START_GOAL = 1.10
FIRST_START_GOAL = 1.10
EXTRACTION_GOAL = 1.10
EXTRACTION_MEGABYTES = 100
PAYLOAD = ("app.jar", random.Random(14).randbytes(8 * 1024 * 1024))
# Long enough for every round; the bench ends the first instance itself.
FIRST_INSTANCE_MS = 1_800_000
MAIN = "mainClass = 'com.example.Main'\n"
# What the log of a start that extracts, or reuses an extraction, holds.
EXTRACTION_LOG_LINES = ("extracting files", "Temp dir:", "Extracted files kept in", "Reusing")


class Line:
    """One line of the table: a figure per architecture and whether each met the goal."""

    def __init__(self, what, goal):
        self.what = what
        self.goal = goal
        self.figures = {}
        self.met = {}

    def set(self, arch, figure, met=None):
        self.figures[arch] = figure
        self.met[arch] = met

    def verdict(self):
        judged = {arch: met for arch, met in self.met.items() if met is not None}
        if not judged:
            return "-"
        missed = [arch for arch, met in judged.items() if not met]
        if not missed:
            return "yes"
        return "no" if len(missed) == len(judged) else f"no ({', '.join(missed)})"


LINES = {}


def line(key, what, goal):
    LINES[key] = Line(what, goal)


line("size", "stub size", f"<= {STUB_GOAL // 1024} KB ({STUB_GOAL:,} bytes)")
line("imports", "stub imports", "Windows DLLs only")
line("exit_floor", "start to JNI_CreateJavaVM, cached, / exit-only floor", "reported")
line("same_floor", "start to JNI_CreateJavaVM, cached, / same-imports floor", f"<= {START_GOAL:.2f}x")
line("runtime_floor", "start to JNI_CreateJavaVM, cached, / same-imports floor loading the runtime",
     f"<= {START_GOAL:.2f}x (the launcher's own work)")
line("probe", "first start probing java.exe / cached start", "reported (must probe)")
line("release", "first start, runtime with a release file / cached start",
     f"~1.0 (<= {FIRST_START_GOAL:.2f}x), java.exe never run")
line("extraction", f"extraction of {EXTRACTION_MEGABYTES} MB / CopyFile", f"<= {EXTRACTION_GOAL:.2f}x")
line("single", "second start of a single-instance app (8 MB included)", "hands over, extracts nothing")
line("reuse", "start reusing extraction (8 MB) / start extracting", "<= 1.00x")


def ms(seconds):
    return f"{seconds * 1000:.0f} ms"


def ratio_figure(numerator, denominator):
    """The rounds' median ratio of two starts, with each one's median time."""
    return f"{paired_ratio(numerator, denominator):.2f}x ({ms(numerator.median)} / {ms(denominator.median)})"


def measure_stub(arch, env):
    stub = STUBS[arch]
    size = stub.stat().st_size
    LINES["size"].set(arch, f"{size / 1024:.0f} KB ({size:,})", size <= STUB_GOAL)
    dlls = list(imports(stub))
    foreign = foreign_dlls(dlls, drive_c(env) / SYSTEM_FOLDERS[arch])
    figure = f"{len(dlls)} DLLs, all Windows'" if not foreign else "also " + ", ".join(foreign)
    LINES["imports"].set(arch, figure, not foreign)
    print(f"{arch}: {stub.name} {size:,} bytes, imports {', '.join(dlls)}")


def same_imports_note(arch):
    """Empty when the same-imports floor imports what the launcher imports;
    else how they differ (its import libraries are out of date, or the C
    runtime brings a DLL the launcher no longer has)."""
    launcher = imports(STUBS[arch])
    floor = imports(BUILD_TREES[arch] / "bench" / "same_imports_floor.exe")
    lacking = [f"{dll}!{name}" for dll, names in launcher.items() for name in names
               if name not in floor.get(dll, []) and not name.startswith("#")]
    extra = sorted(set(floor) - set(launcher))
    note = f"; the floor lacks {len(lacking)} imports ({', '.join(lacking[:3])})" if lacking else ""
    return note + (f"; the floor also imports {', '.join(extra)}" if extra else "")


def measure_extraction(arch, env):
    program = BUILD_TREES[arch] / "bench" / "extraction_bench.exe"
    result = wine(env, str(program), str(EXTRACTION_MEGABYTES), timeout=600)
    output = result.stdout.decode(errors="replace")
    print(f"{arch}: {output.strip()}")
    match = re.search(r"([\d.]+)x CopyFile \(([\d.]+) ms against ([\d.]+) ms\)", output)
    if result.returncode != 0 or not match:
        LINES["extraction"].set(arch, "failed", False)
        return
    ratio = float(match.group(1))
    LINES["extraction"].set(arch, f"{ratio:.2f}x ({float(match.group(2)):.0f} / {float(match.group(3)):.0f} ms)",
                            ratio <= EXTRACTION_GOAL)


def ages_ms(runtime, counted):
    """The ages the stand-in noted on entering JNI_CreateJavaVM (a line after
    the call's own), for the calls whose line counted() accepts."""
    ages, call = [], ""
    for line in runtime.jvm_calls():
        if line.startswith("JNI_CreateJavaVM version="):
            call = line
        for age in re.findall(r"^JNI_CreateJavaVM reached after (\d+) ms$", line):
            if counted(call):
                ages.append(int(age))
    return ages


def cache_subkeys(env):
    result = wine(env, "reg", "query", VERSION_CACHE_KEY)
    prefix = VERSION_CACHE_KEY.replace("HKCU", "HKEY_CURRENT_USER") + "\\"
    return [text[len(prefix):] for text in result.stdout.decode("cp1252", errors="replace").splitlines()
            if text.startswith(prefix)]


def forgetting(env, runtime):
    """A step that removes the runtime's entries from the version cache, and
    only its: other starts in the round keep theirs."""
    marker = runtime.windows().replace("\\", "/").lower() + "/"

    def forget():
        for subkey in cache_subkeys(env):
            if subkey.lower().startswith(marker):
                forget_key(env, f"{VERSION_CACHE_KEY}\\{subkey}")
    return forget


def extraction_dirs(env):
    return set(drive_c(env).glob("users/*/Temp/tvx*.tmp_dir*"))


def extraction_caches(env):
    return set(drive_c(env).glob("users/*/AppData/Local/tovex/cache/*"))


def new_logs(env, before):
    return sorted(set(drive_c(env).glob("users/*/Temp/vdl_nlog_*")) - before)


def logged_start(env, app):
    """One more start with the log on; its log's text."""
    before = set(drive_c(env).glob("users/*/Temp/vdl_nlog_*"))
    wine(dict(env, TOVEX_LOG="yes"), str(app))
    logs = new_logs(env, before)
    text = "".join(log.read_bytes().decode("cp1252", errors="replace") for log in logs)
    for log in logs:
        log.unlink()
    return text


def reading_hand_over(env):
    """A step that does what the running application does with a hand-over
    file: reads and removes it (left, it holds the next start for 10 s)."""
    def read():
        for hand_over in drive_c(env).glob("users/*/Temp/tvx_p*.tmp"):
            hand_over.unlink(missing_ok=True)
    return read


def start_first_instance(env, app, runtime):
    process = subprocess.Popen([WINE, str(app)], env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 120
    while time.monotonic() < deadline and process.poll() is None:
        if any(call.startswith("CallStaticVoidMethod") for call in runtime.jvm_calls()):
            return process
        time.sleep(0.2)
    process.kill()
    sys.exit(f"the single-instance application's first start did not reach main (exit {process.poll()})")


def bench_starts(arch, env, root):
    runtimes.use_architecture(arch)
    if not runtimes.standins_built():
        sys.exit(f"build the {arch} stand-ins first: make")
    java8 = runtimes.make_jre(root / "jre8", 'java version "1.8.0_201"')
    java21 = runtimes.make_modern_jdk(root / "jdk21", 'openjdk version "21.0.5" 2024-10-15', release="21.0.5")
    java_si = runtimes.make_jre(root / "jre_si", 'java version "1.8.0_201"')
    for runtime in (java8, java21):
        runtime.configure_jvm(create_exit_code=0)
    java_si.configure_jvm(create_result=0, main_sleep_ms=FIRST_INSTANCE_MS)

    def search(runtime):
        return f"jvmSearchSequence = 'A{runtime.windows()};'\n" + MAIN

    apps = root / "apps"
    cached_app = build_app(apps / "cached", search(java8), arch)
    modern_app = build_app(apps / "modern", search(java21), arch)
    single_app = build_app(apps / "single", search(java_si) + "singleInstance = true\n", arch, [PAYLOAD])
    normal_app = build_app(apps / "normal", search(java8), arch, [PAYLOAD])
    reuse_app = build_app(apps / "reuse", search(java8) + "\n[build]\nreuseExtraction = true\n", arch, [PAYLOAD])
    bench = BUILD_TREES[arch] / "bench"

    forget_key(env, PIDS_KEY)
    first_instance = start_first_instance(env, single_app, java_si)
    try:
        starts = {
            "exit": Start("exit-only floor", bench / "exit_only.exe", env),
            "same": Start("same-imports floor", bench / "same_imports_floor.exe", env),
            "runtime": Start("same-imports floor, runtime", bench / "runtime_floor.exe", env,
                             arguments=[java8.windows(java8.bin / "client" / "jvm.dll")]),
            "cached": Start("cached start", cached_app, env),
            "probe": Start("first start, probing", cached_app, env, prepare=forgetting(env, java8)),
            "modern": Start("cached start, release file", modern_app, env),
            "release": Start("first start, release file", modern_app, env, prepare=forgetting(env, java21)),
            "single": Start("second single-instance start", single_app, env, prepare=reading_hand_over(env)),
            "normal": Start("start extracting", normal_app, env),
            "reuse": Start("start reusing", reuse_app, env),
        }
        java21.forget_records()
        time_rounds(list(starts.values()), ROUNDS)
        # Other starts of the rounds extract: the single-instance starts'
        # folders are looked for on their own.
        temps_before = extraction_dirs(env)
        for _ in range(2):
            starts["single"].run_once(record=False)
        starts["single"].prepare()
        single_log = logged_start(env, single_app)
        single_made = extraction_dirs(env) - temps_before
        single_jvms = sum(call.startswith("JNI_CreateJavaVM") for call in java_si.jvm_calls())
    finally:
        first_instance.kill()
        first_instance.wait(timeout=60)
        forget_key(env, PIDS_KEY)

    for start in starts.values():
        print(f"{arch}: {start.name:32} median {ms(start.median):>7}  "
              f"(min {ms(min(start.samples))}, max {ms(max(start.samples))}, {len(start.samples)} starts)")
    # The stand-in notes how long after its process's creation it was entered:
    # for the launcher, in the starts that never run java.exe (the runtime
    # with a release file); for the runtime floor, in the calls with no
    # options (the launcher always gives some).
    ages = {"launcher": ages_ms(java21, lambda call: True),
            "runtime floor": ages_ms(java8, lambda call: " nOptions=0 " in call)}
    if all(ages.values()):
        print(f"{arch}: JNI_CreateJavaVM reached, inside the process, median ms after its creation: " +
              ", ".join(f"{who} {statistics.median(values)}" for who, values in ages.items()))

    LINES["exit_floor"].set(arch, ratio_figure(starts["cached"], starts["exit"]))
    LINES["same_floor"].set(arch, ratio_figure(starts["cached"], starts["same"]) + same_imports_note(arch),
                            paired_ratio(starts["cached"], starts["same"]) <= START_GOAL)
    LINES["runtime_floor"].set(arch, ratio_figure(starts["cached"], starts["runtime"]),
                               paired_ratio(starts["cached"], starts["runtime"]) <= START_GOAL)
    LINES["probe"].set(arch, ratio_figure(starts["probe"], starts["cached"]))
    probes = java21.run_count()
    LINES["release"].set(arch, ratio_figure(starts["release"], starts["modern"]) + f", {probes} java.exe runs",
                         paired_ratio(starts["release"], starts["modern"]) <= FIRST_START_GOAL and probes == 0)
    # A start that goes to its included files logs it (the log opens at its
    # first line, so a start that hands over at once leaves none).
    extracted = bool(single_made) or any(text in single_log for text in EXTRACTION_LOG_LINES)
    handed_over = single_jvms == 1  # the first instance's JVM alone
    figure = (f"{ms(starts['single'].median)} ({paired_ratio(starts['single'], starts['same']):.2f}x "
              "same-imports floor), "
              f"{'extracted' if extracted else 'nothing extracted'}")
    LINES["single"].set(arch, figure + ("" if handed_over else f", {single_jvms - 1} JVMs of its own"),
                        handed_over and not extracted)
    LINES["reuse"].set(arch, ratio_figure(starts["reuse"], starts["normal"]),
                       paired_ratio(starts["reuse"], starts["normal"]) <= 1.0)


def print_table():
    rows = [("what", "x86", "x64", "goal", "met")]
    for entry in LINES.values():
        rows.append((entry.what, entry.figures.get("x86", "-"), entry.figures.get("x64", "-"), entry.goal,
                     entry.verdict()))
    widths = [max(len(row[i]) for row in rows) for i in range(5)]
    print()
    for number, row in enumerate(rows):
        print("| " + " | ".join(cell.ljust(width) for cell, width in zip(row, widths)) + " |")
        if number == 0:
            print("|" + "|".join("-" * (width + 2) for width in widths) + "|")


def main():
    for stub in STUBS.values():
        if not stub.exists():
            sys.exit(f"{stub} is missing: make launcher")
    env = wine_env()
    root = drive_c(env) / "tovex-bench"
    shutil.rmtree(root, ignore_errors=True)
    start_wine(env)
    temps_before = extraction_dirs(env)
    caches_before = extraction_caches(env)
    try:
        for arch in ARCHITECTURES:
            measure_stub(arch, env)
            bench_starts(arch, env, root / arch)
            measure_extraction(arch, env)
        print_table()
    finally:
        # What the starts left: their extraction folders and caches.
        for folder in (extraction_dirs(env) - temps_before) | (extraction_caches(env) - caches_before):
            shutil.rmtree(folder, ignore_errors=True)
        shutil.rmtree(root, ignore_errors=True)
        stop_wine(env)


if __name__ == "__main__":
    main()
