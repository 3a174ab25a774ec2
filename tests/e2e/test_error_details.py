"""Errors a user can act on: what Java threw, which class is missing, and the
download page offered when no runtime is there (key 3001 and the keys
beside it)."""
import os
import shutil
import subprocess

import pytest

from blockfile import layout
from harness import WINE, LAUNCH_PROJECT, NO_RUNTIME_EXIT, STARTER, find_window, stderr_text, wait_for, windows_path

pytestmark = pytest.mark.usefixtures("standins")

QUIET = LAUNCH_PROJECT.replace("executableType = 1", "executableType = 2")
DETAILED = QUIET + '''modernRuntime = true
msgJvmNotStarted = "The application stopped: %EXCEPTION%"
msgMainClassNotLoaded = "Couldn't load %CLASS_NAME%."
'''
STACK = ["com.example.Hello.start(Hello.java:12)", "com.example.Hello.main(Hello.java:5)"]


@pytest.mark.parametrize("thrown", [
    "java.lang.IllegalStateException: no settings file",
    # The starter loads the application's class: a missing one is what main throws.
    "java.lang.ClassNotFoundException: com.example.Missing",
])
def test_the_message_names_what_main_threw_with_its_first_stack_lines(make_app, launch, jre, thrown):
    jre.configure_jvm(main_exception=thrown, main_exception_stack=STACK)
    result, log, calls = launch(app=make_app(DETAILED))
    assert result.returncode == 1
    assert stderr_text(result).split("\n\nLog: ")[0] == (f"The application stopped: {thrown}\r\n\r\n"
                                                         f"    at {STACK[0]}\r\n    at {STACK[1]}")
    assert f"ERROR: exception: {thrown}\n" in log
    # Described (printed on standard error by a real JVM) before it is read.
    names = calls.names()
    assert names.index("ExceptionDescribe") < names.index("CallObjectMethod")


def test_a_long_stack_is_cut_to_its_first_lines(make_app, launch, jre):
    stack = [f"com.example.Deep.level{i}(Deep.java:{i})" for i in range(8)]
    jre.configure_jvm(main_exception="java.lang.StackOverflowError", main_exception_stack=stack)
    result, _, _ = launch(app=make_app(DETAILED))
    lines = stderr_text(result).split("\n\nLog: ")[0].split("\r\n")
    assert lines[2:] == [f"    at {line}" for line in stack[:5]] + ["    ..."]


def test_a_missing_starter_is_named(make_app, launch, jre):
    jre.configure_jvm(missing_class=STARTER)
    result, _, _ = launch(app=make_app(DETAILED))
    assert stderr_text(result).startswith("Couldn't load com.tovex.runtime.WinLauncher.\n\nLog: ")


def test_without_the_switch_the_texts_stay_as_configured(make_app, launch, jre):
    jre.configure_jvm(main_exception="java.lang.IllegalStateException: boom", main_exception_stack=STACK)
    result, _, calls = launch(app=make_app(DETAILED.replace("modernRuntime = true", "modernRuntime = false")))
    assert stderr_text(result).startswith("The application stopped: %EXCEPTION%\n\nLog: ")
    assert "CallObjectMethod" not in calls.names()


NO_RUNTIME = '''applicationName = "Download test"
jvmSearchSequence = "EJAVA_HOME;"
modernRuntime = true
msgNoJvm = "No Java here."
msgOpenDownloadPage = "Open %DOWNLOAD_URL% now?"
downloadUrl = "https://example.org/java"
'''


def test_without_boxes_the_download_page_follows_the_message(make_app):
    result = make_app(NO_RUNTIME + "executableType = 2\n").run()
    assert result.returncode == NO_RUNTIME_EXIT
    assert stderr_text(result) == "No Java here.\r\nhttps://example.org/java\n"


@pytest.mark.parametrize("defaults", [True, False], ids=["a user's build", "plain"])
def test_the_default_message_names_the_one_download_page(make_app, defaults):
    text = NO_RUNTIME.replace('msgNoJvm = "No Java here."\n', "")
    text += 'mainClass = "com.example.Main"\nconsole = true\n' if defaults else "executableType = 2\n"
    result = make_app(text, defaults=defaults).run()
    assert result.returncode == NO_RUNTIME_EXIT
    shown = stderr_text(result)
    # Named once, in the text, where it used to stand beside another address.
    assert shown.count("https://") == 1 and "https://example.org/java" in shown, shown
    assert shown.endswith("\r\nand start Download test again.\n" if defaults else "https://example.org/java\n")


def test_a_download_page_that_would_split_the_browser_command_is_not_offered(make_app):
    app = make_app(NO_RUNTIME.replace("https://example.org/java", "https://example.org/java/abcdefghij")
                   + "executableType = 2\n")
    data = bytearray(app.exe.read_bytes())
    [record] = [r for r in layout(bytes(data))["narrow"] if r["key"] == 3004]
    forged = b'https://a" --injected-flag "x'
    forged += b"x" * (record["length"] - len(forged))
    data[record["text"]:record["text"] + record["length"]] = forged
    app.exe.write_bytes(bytes(data))
    result = app.run()
    assert result.returncode == NO_RUNTIME_EXIT
    assert stderr_text(result) == "No Java here.\n"


@pytest.mark.skipif(not os.environ.get("DISPLAY") or shutil.which("xdotool") is None,
                    reason="needs an X display and xdotool (run under `make test`)")
@pytest.mark.parametrize("answer, opened", [("y", True), ("n", False)])
def test_the_box_offers_the_download_page_and_yes_opens_it(make_app, wine_env, tmp_path, answer, opened):
    # A handler for https that records what the shell was asked to open, in
    # place of the prefix's browser (put back afterwards).
    record = tmp_path / "opened.txt"
    key = r"HKCR\https\shell\open\command"
    query = subprocess.run([WINE, "reg", "query", key, "/ve"], env=wine_env, capture_output=True, text=True)
    browser = query.stdout.split("REG_SZ", 1)[1].strip() if "REG_SZ" in query.stdout else None
    handler = fr'cmd.exe /c echo %1> "{windows_path(wine_env, record)}"'
    subprocess.run([WINE, "reg", "add", key, "/ve", "/d", handler, "/f"], env=wine_env,
                   capture_output=True, check=True)
    caption = f"Download box {answer}"
    app = make_app(NO_RUNTIME + f'executableType = 1\nmsgErrorCaption = "{caption}"\n'
                   'msgCopyHint = "Press Ctrl+C to copy this message."\n')
    process = app.start()
    try:
        window = wait_for(lambda: find_window(caption), timeout=60)
        assert window, "no message box appeared"
        subprocess.run(["import", "-window", "root", str(tmp_path / "box.png")], capture_output=True)
        subprocess.run(["xdotool", "windowactivate", "--sync", window], capture_output=True)
        subprocess.run(["xdotool", "key", "--window", window, answer], capture_output=True)
        process.wait(timeout=60)
        if opened:
            assert wait_for(lambda: record.exists() and record.read_text().strip(), timeout=30) == \
                "https://example.org/java"
        else:
            assert not record.exists()
    finally:
        if process.poll() is None:
            process.kill()
        if browser is not None:
            subprocess.run([WINE, "reg", "add", key, "/ve", "/d", browser, "/f"], env=wine_env,
                           capture_output=True)
        else:
            subprocess.run([WINE, "reg", "delete", key, "/ve", "/f"], env=wine_env, capture_output=True)
    assert process.returncode == NO_RUNTIME_EXIT


def test_no_fitting_runtime_names_the_range_and_why_each_was_refused(make_app, rt):
    from runtimes import MACHINE_AMD64, MACHINE_I386, make_modern_jdk, make_other_architecture, pe_machine, standin
    own = pe_machine(standin("jvm.dll"))
    bits = {MACHINE_I386: "32-bit", MACHINE_AMD64: "64-bit"}
    other = MACHINE_AMD64 if own == MACHINE_I386 else MACHINE_I386
    old = make_modern_jdk(rt / "jdk-11", 'openjdk version "11.0.22" 2024-01-16', release="11.0.22")
    foreign = make_other_architecture(make_modern_jdk(rt / "jdk-21", 'openjdk version "21.0.5" 2024-10-15',
                                                      release="21.0.5"), other)
    # A user's build with the tool's defaults: a console program, so the text goes to standard error.
    app = make_app(f'''applicationName = "Ledger"
mainClass = "com.example.Ledger"
console = true
[runtime]
search = ["env:JAVA_HOME", "dir:{foreign.windows()}"]
minVersion = "17"
'''.replace("\\", "\\\\"), defaults=True)
    result = app.run(extra_env={"JAVA_HOME": old.windows()})
    assert result.returncode == NO_RUNTIME_EXIT
    text = stderr_text(result).replace("\r\n", "\n")
    assert text.startswith(f"Ledger needs Java 17 or later built for {bits[own]} Windows;\n"), text
    lines = text.lower().splitlines()
    assert any(line.startswith(f"    {old.windows().lower()}") and line.endswith("(11.0.22): too old")
               for line in lines), text
    assert any(line.startswith(f"    {foreign.windows().lower()}") and line.endswith(": other architecture")
               for line in lines), text
