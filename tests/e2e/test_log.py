"""The diagnostic log: switched on by the environment, written to TMP."""
import re
import subprocess

import pytest

from harness import WINE, WINEPATH, NO_RUNTIME_EXIT, NO_RUNTIME_PROJECT, NO_RUNTIME_TEXT, WITHOUT_LIBRARY, stderr_text

CTIME = r"\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4}"


def test_log_lies_in_tmp_and_starts_with_the_executable_and_time(make_app, temp_logs):
    app = make_app(NO_RUNTIME_PROJECT + WITHOUT_LIBRARY)
    result = app.run(extra_env={"TOVEX_LOG": "yes"})
    assert result.returncode == NO_RUNTIME_EXIT

    logs = temp_logs()
    assert len(logs) == 1
    content = logs[0].read_bytes().decode("cp1252")
    # Text mode: every line ends in CR LF; the time text brings its own line end.
    lines = content.split("\r\n")
    assert re.fullmatch(r"Started executable Z:\\.*\\app\.exe at " + CTIME, lines[0]), lines[0]
    assert lines[1] == ""
    assert lines[2:4] == ["extracting files", "Included files: 0"]
    # No search sequence, no flavour, no location files: the search has nothing to try.
    assert lines[-5:] == ["LoadDLL (1, (null), 0)", "Searching for a JVM", "Search sequence finished",
                          "ERROR: No JVM found", ""]

    # The error text names the log by its long path.
    text = stderr_text(result)
    assert text.endswith(f"\n\nLog: C:\\users\\{logs[0].parent.parent.name}\\Temp\\{logs[0].name}\n")
    assert text.startswith(NO_RUNTIME_TEXT + "\n\nLog: ")


@pytest.mark.parametrize("environment, logging", [
    ({}, False),
    ({"TOVEX_LOG": "Yes"}, False),
    ({"TOVEX_LOG": "YES"}, False),
    ({"TOVEX_LOG": "yes "}, False),
    ({"TOVEX_LOG": "no", "VANDREL_LOG": "yes"}, True),
    ({"VANDREL_LOG": "yes"}, True),
])
def test_only_an_exact_yes_switches_the_log_on(make_app, temp_logs, environment, logging):
    result = make_app(NO_RUNTIME_PROJECT).run(extra_env=environment)
    assert result.returncode == NO_RUNTIME_EXIT
    assert bool(temp_logs()) == logging
    assert ("\n\nLog: " in stderr_text(result)) == logging


def test_log_follows_tmp(make_app, wine_env, wine_c_drive, tmp_path):
    app = make_app(NO_RUNTIME_PROJECT)
    target = wine_c_drive / "tovex-log-test"
    target.mkdir(exist_ok=True)
    for old in target.glob("vdl_nlog_*"):
        old.unlink()
    exe = subprocess.run([WINEPATH, "-w", str(app.exe)], env=wine_env, capture_output=True,
                         text=True, check=True).stdout.strip()
    env = dict(wine_env, TOVEX_LOG="yes")
    result = subprocess.run([WINE, "cmd", "/c", f"set TMP=C:\\tovex-log-test&& {exe}"],
                            env=env, capture_output=True, timeout=120)
    assert result.returncode == NO_RUNTIME_EXIT
    logs = list(target.glob("vdl_nlog_*"))
    assert len(logs) == 1
    assert f"Log: C:\\tovex-log-test\\{logs[0].name}" in stderr_text(result)
