"""Starting Java in the launcher's process: the options the JVM is created
with, the starter's argument array, the first-run hook and every failure,
as the stand-in jvm.dll records them; and what key 3001 changes there (the
C runtime's argument rule, the user's options file last, variables in the
redirection files and the working directory)."""
import re

import pytest

from harness import LAUNCH_PROJECT, STARTER, extraction_dir_from_log, stderr_text, unix_path, windows_path

FIRST_RUN = "com/vandrel/runtime/FirstRun"

pytestmark = pytest.mark.usefixtures("standins")


def log_lines(log, start="launching program"):
    lines = log.splitlines()
    return lines[lines.index(start):]


# ---- a normal run


def test_a_normal_run_creates_the_jvm_calls_the_starter_and_ends_with_0(launch):
    result, log, calls = launch("", "x")
    assert result.returncode == 0, stderr_text(result)

    temp = extraction_dir_from_log(log)
    options = calls.options()
    assert re.fullmatch(r"-Dtovex\.moduleName=[a-z]:\\.*\\app\.exe", options[0]), options
    assert options[1:] == [f"-Dtovex.tempDir={temp}", f"-Djava.class.path={temp}\\tovexlib.jar;"]
    assert calls.lines[0] == f"JNI_CreateJavaVM version=0x00010002 nOptions={len(options)} ignoreUnrecognized=1"

    arguments = calls.starter_arguments()
    assert arguments[:5] == ["true", "com.example.Hello", "", "", "true"]
    assert arguments[5].endswith("app.exe")
    assert arguments[6:] == ["x"]

    assert calls.names() == ["JNI_CreateJavaVM", "FindClass", "GetStaticMethodID", "FindClass", "NewObjectArray"] + \
        ["NewString"] * 7 + ["CallStaticVoidMethod", "ExceptionOccurred", "DestroyJavaVM"]
    assert f"GetStaticMethodID {STARTER} main ([Ljava/lang/String;)V" in calls.lines
    assert "NewObjectArray 7 java/lang/String" in calls.lines

    expected = ["launching program", "vmoption count 3"] + \
        [f"vmoption {i}: {option}" for i, option in enumerate(options)] + \
        ["Creating JVM", "JVM created", f"main class: {STARTER}", "param count: 7"] + \
        [f"param {i}: {text}" for i, text in enumerate(arguments)] + \
        ["calling main", "main returned", "dest JVM", "launch done"]
    assert log_lines(log) == expected


def test_options_in_their_order(launch, tmp_path):
    vmoptions = "# heap\n  -Xmx64m  \n\n-Dfrom.file=1\n"

    def setup(app):
        # The .vmoptions file wins over the .exe.vmoptions one.
        app.exe.with_suffix(".vmoptions").write_text(vmoptions)
        app.exe.with_name("app.exe.vmoptions").write_text("-Dnot.read=1\n")

    extra = "vmParameters = \"-Dkey123=1 '-Dwith blank=2'\"\n"
    result, log, calls = launch(extra, "-Jx", "a", "-J-Dy=1", "b", setup=setup)
    assert result.returncode == 0, stderr_text(result)
    options = calls.options()
    temp = extraction_dir_from_log(log)
    assert options[1:] == [f"-Dtovex.tempDir={temp}", "-Xmx64m", "-Dfrom.file=1",
                           f"-Djava.class.path={temp}\\tovexlib.jar;", "-Dkey123=1", "-Dwith blank=2", "x", "-Dy=1"]
    assert calls.starter_arguments()[6:] == ["a", "b"]


@pytest.mark.parametrize("extra, args, expected_tail", [
    # Key 124 between the program name and the user's arguments, split as a command line.
    ("programArguments = \"a 'b c' d\"\n", ["u"], ["a", "b c", "d", "u"]),
    # Without key 125 "-J" arguments reach the starter unchanged.
    ("", ["-Jx", "a"], ["-Jx", "a"]),
])
def test_the_starters_arguments(make_app, launch, extra, args, expected_tail):
    project = LAUNCH_PROJECT.replace("commandLineVmOptions = true", "commandLineVmOptions = false") + extra
    result, _, calls = launch("", *args, app=make_app(project))
    assert result.returncode == 0, stderr_text(result)
    assert calls.starter_arguments()[6:] == expected_tail
    assert not any(option in ("x", "Jx") for option in calls.options())


def test_launch_parameters_without_main_class_and_with_redirection(make_app, launch):
    project = LAUNCH_PROJECT.replace('mainClass = "com.example.Hello"\n', "") \
        .replace("redirectStderr = false", 'redirectStderr = true\nstderrFile = "Logs\\\\Error.log"') \
        .replace("starterFlag = true", "starterFlag = false").replace("executableType = 1", "executableType = 2")
    app = make_app(project)
    result, _, calls = launch(app=app)
    assert result.returncode == 0, stderr_text(result)
    first = calls.starter_arguments()[:5]
    assert first[0] == "false" and first[1] == "" and first[3] == "" and first[4] == "false"
    # The error file as a full path beside the executable, its letter case kept.
    assert re.fullmatch(r"[A-Za-z]:\\.*\\Logs\\Error\.log", first[2]), first[2]


def test_characters_outside_the_ansi_code_page_reach_java_unchanged(launch):
    word = "Ωmega-日本"  # none of them in code page 1252, not even by a best fit
    result, log, calls = launch("", word, "café")
    assert result.returncode == 0, stderr_text(result)
    assert calls.starter_arguments()[6:] == [word, "café"]
    assert 'NewString "\\u03a9mega-\\u65e5\\u672c"' in calls.lines
    # Only the log shows them as "?".
    assert "param 6: ?mega-??\n" in log
    assert "param 7: café\n" in log


# ---- failures

# A console-type executable: its messages go to the standard error stream.
QUIET = LAUNCH_PROJECT.replace("executableType = 1", "executableType = 2")


@pytest.mark.parametrize("settings, key_text, log_line, code", [
    ({"create_result": -1}, "The JVM could not be started", "ERROR: could not initialize JVM", 1),
    ({"missing_class": STARTER}, "Couldn't load main class.", "ERROR: could not find main class", 1),
    ({"missing_method": "main"}, "Main method not found.", "ERROR: could not find main method", 1),
    ({"throw_in": "main"}, "The JVM could not be started", "ERROR: could not call main", 1),
])
def test_failures_end_with_their_message(make_app, launch, jre, settings, key_text, log_line, code):
    jre.configure_jvm(**settings)
    result, log, calls = launch(app=make_app(QUIET))
    assert result.returncode == code
    assert stderr_text(result).startswith(key_text)
    assert log_line + "\n" in log
    assert "DestroyJavaVM" not in calls.lines
    if "throw_in" in settings:
        assert log_lines(log, "calling main")[:4] == [
            "calling main", "main returned", "ERROR: an exception occured", "ERROR: could not call main"]
        assert "ExceptionDescribe java/lang/RuntimeException: main" in calls.lines


# ---- the installer flavour


INSTALLER = QUIET + 'launcherFlavour = "installer"\ninstallationDirectory = "."\n'


def marker(app):
    directory = app.exe.parent / ".vandrel"
    directory.mkdir(exist_ok=True)
    (directory / "firstrun").write_text("")


def test_installer_without_marker_runs_the_starter_with_its_runtime_jar(make_app, launch):
    result, log, calls = launch(app=make_app(INSTALLER))
    assert result.returncode == 0, stderr_text(result)
    options = calls.options()
    assert options[0] == "-Dtovex.isVandrel=true"
    class_path = [option for option in options if option.startswith("-Djava.class.path=")][0]
    assert class_path.endswith("\\.vandrel\\vdlruntime.jar;")
    assert f"FindClass {FIRST_RUN}" not in calls.lines
    assert calls.starter_arguments()[0] == "false"


@pytest.mark.parametrize("settings, expected", [
    ({}, "starter"),
    ({"false_from": "firstRun"}, "stopped"),
    ({"throw_in": "firstRun"}, "stopped"),
    ({"missing_class": FIRST_RUN}, "14"),
    ({"missing_method": "firstRun"}, "15"),
])
def test_the_first_run_hook(make_app, launch, jre, settings, expected):
    jre.configure_jvm(**settings)
    result, log, calls = launch(app=make_app(INSTALLER), setup=marker)
    if expected in ("14", "15"):
        assert result.returncode == 1
        assert f"(error code: {expected})" in stderr_text(result)
        return
    assert result.returncode == 0, stderr_text(result)
    assert f"GetStaticMethodID {FIRST_RUN} firstRun ()Z" in calls.lines
    assert f"CallStaticBooleanMethod {FIRST_RUN} firstRun " in calls.lines
    starter_called = any(line.startswith(f"CallStaticVoidMethod {STARTER}") for line in calls.lines)
    assert starter_called == (expected == "starter")
    if expected == "stopped":
        assert log_lines(log, "JVM created") == [
            "JVM created", "checkFirstRun stopped further execution", "dest JVM", "launch done"]
        assert calls.lines[-1] == "DestroyJavaVM"


def test_without_included_files_the_temp_dir_property_is_empty(make_app, launch):
    result, log, calls = launch(app=make_app(LAUNCH_PROJECT + "\n[build]\nincludeRuntimeLibrary = false\n"))
    assert result.returncode == 0, stderr_text(result)
    assert "Included files: 0\n" in log
    options = calls.options()
    assert options[1:] == ["-Dtovex.tempDir=", "-Djava.class.path="]


# ---- with key 3001

MODERN = "modernRuntime = true\n"

# Typed by a user: each reaches main as it is, as java.exe would hand it on.
USER_ARGUMENTS = ["O'Brien.txt", 'say "hi"', "C:\\out dir\\", "", "tab\there", "a\\\\b\\", "café"]
# Key 124 as a project writes it, and what main receives of it by the C runtime's rule.
CONFIGURED_ARGUMENTS = '"a""b c" O\'Brien \\"q\\" C:\\dir\\ ""'
CONFIGURED_PIECES = ['a"b c', "O'Brien", '"q"', "C:\\dir\\", ""]


def test_with_key_3001_main_receives_the_arguments_java_exe_would_give(launch):
    extra = MODERN + "programArguments = '''" + CONFIGURED_ARGUMENTS + "'''\n"
    result, _, calls = launch(extra, *USER_ARGUMENTS)
    assert result.returncode == 0, stderr_text(result)
    arguments = calls.starter_arguments()
    assert arguments[5].lower().endswith("app.exe"), arguments
    assert arguments[6:] == CONFIGURED_PIECES + USER_ARGUMENTS


def test_with_key_3001_the_users_options_file_overrides_the_projects_options(launch):
    def setup(app):
        app.exe.with_suffix(".vmoptions").write_text("-Xmx200m\n")

    result, log, calls = launch(MODERN + 'vmParameters = "-Xmx300m"\n', "-J-Xmx400m", setup=setup)
    assert result.returncode == 0, stderr_text(result)
    temp = extraction_dir_from_log(log)
    # The JVM takes the last of repeated options: the command line's, then the user's file.
    assert calls.options()[1:] == [f"-Dtovex.tempDir={temp}", f"-Djava.class.path={temp}\\tovexlib.jar;",
                                   "-Xmx300m", "-Xmx200m", "-Xmx400m"]


def test_with_key_3001_redirection_files_and_working_directory_expand_variables(make_app, launch, jre, wine_env,
                                                                                tmp_path):
    work = tmp_path / "work"
    work.mkdir()
    project = LAUNCH_PROJECT \
        .replace("redirectStderr = false", 'redirectStderr = true\nstderrFile = "${LOGS}\\\\err.log"') \
        .replace("redirectStdout = false", 'redirectStdout = true\nstdoutFile = "%TOVEX_EXEDIR%out.log"') \
        + MODERN + 'workingDirectory = "${WORK}"\n'
    app = make_app(project)
    jre.configure_jvm(record_directory=1)
    work_windows = windows_path(wine_env, work)
    result, log, calls = launch(app=app, env={"LOGS": "C:\\Logs", "WORK": work_windows})
    assert result.returncode == 0, stderr_text(result)
    first = calls.starter_arguments()[:5]
    assert first[2] == "C:\\Logs\\err.log"
    # The executable's folder as the launcher names it (perhaps in short form).
    assert unix_path(wine_env, first[3]) == app.exe.parent / "out.log", first[3]
    assert f"current directory {work_windows}".lower() in [line.lower() for line in calls.lines]
    assert f"working directory {work_windows}\n".lower() in log.lower()


def test_with_key_3001_a_working_directory_that_cannot_be_entered_stops_the_start(make_app, launch, wine_env,
                                                                                  tmp_path):
    missing = windows_path(wine_env, tmp_path / "missing")
    project = QUIET + MODERN + 'workingDirectory = "${WORK}"\n' + \
        'msgNoWorkingDirectory = "Cannot work in %FILE_NAME%."\n'
    result, log, calls = launch(app=make_app(project), env={"WORK": missing})
    assert result.returncode == 1
    assert stderr_text(result).lower().startswith(f"cannot work in {missing}.".lower())
    assert f"working directory {missing} cannot be entered".lower() in log.lower()
    assert not any(line.startswith("JNI_CreateJavaVM") for line in calls.lines)
