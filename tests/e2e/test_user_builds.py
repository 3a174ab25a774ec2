"""Executables built the way a Java developer builds them: with the tool's
defaults (no --plain). A console program prints into the console that started
it and returns the application's exit code; a double-clicked GUI program that
cannot start shows why in a message box; a signed executable still starts."""
import json
import os
import shutil
import subprocess
import zipfile

import pytest

from harness import WINE, NO_RUNTIME_EXIT, TOVEX, find_window, wait_for, windows_path
from runtimes import make_jre

needs_display = pytest.mark.skipif(not os.environ.get("DISPLAY") or shutil.which("xdotool") is None,
                                   reason="needs an X display and xdotool (run under `make test`)")

CONSOLE_PROJECT = """\
applicationName = "Console tool"
mainClass = "com.example.Tool"
console = true
[runtime]
search = ["env:JAVA_HOME"]
"""


pytestmark = pytest.mark.usefixtures("standins")


def make_jar(path, main_class):
    path.parent.mkdir(parents=True, exist_ok=True)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as jar:
        jar.writestr("META-INF/MANIFEST.MF", f"Manifest-Version: 1.0\r\nMain-Class: {main_class}\r\n\r\n")
        jar.writestr(main_class.replace(".", "/") + ".class", b"\xca\xfe\xba\xbe")


@pytest.fixture
def printing_jre(rt):
    """A runtime whose main prints a line to System.out and calls System.exit(7)."""
    jre = make_jre(rt / "jre")
    jre.configure_jvm(main_stdout=["Hello from the console", "second line"], main_exit_code=7)
    return jre


def test_a_console_program_prints_to_its_caller_and_returns_the_exit_code(make_app, printing_jre, wine_env):
    app = make_app(CONSOLE_PROJECT, defaults=True)
    environment = {"JAVA_HOME": printing_jre.windows()}

    direct = app.run(extra_env=environment)
    assert direct.returncode == 7, direct.stderr
    assert direct.stdout.decode("cp1252").splitlines() == ["Hello from the console", "second line"]

    # cmd waits for a console program and hands on its output and exit code.
    through_cmd = subprocess.run([WINE, "cmd", "/c", windows_path(wine_env, app.exe)],
                                 env={**wine_env, **environment}, capture_output=True, timeout=120)
    assert through_cmd.returncode == 7, through_cmd.stderr
    assert "Hello from the console" in through_cmd.stdout.decode("cp1252")


def test_a_console_program_without_java_says_why_on_standard_error(make_app, rt):
    app = make_app(CONSOLE_PROJECT, defaults=True)
    result = app.run(extra_env={"JAVA_HOME": str(rt / "none")})
    assert result.returncode == NO_RUNTIME_EXIT
    text = result.stderr.decode("cp1252")
    assert text.startswith("Console tool needs a Java runtime,\r\nbut none that fits was found on this computer.\r\n"
                           "Java runtimes looked at:\r\n"), text
    assert ": no java executable\r\n" in text


@needs_display
def test_a_minimal_gui_program_shows_its_error_in_a_message_box(make_app, tmp_path, rt):
    """Only one jar, whose manifest names the main class: a GUI program with the default search."""
    make_jar(tmp_path / "lib" / "hello.jar", "com.example.Hello")
    app = make_app('applicationName = "Minimal Hello"\n[[files]]\npath = "lib/hello.jar"\n', defaults=True)
    process = app.start(extra_env={"JAVA_HOME": str(rt / "none")})
    try:
        window = wait_for(lambda: find_window("Minimal Hello"), timeout=60)
        assert window, "no message box captioned with the application's name appeared"
        if shutil.which("import"):
            subprocess.run(["import", "-window", "root", str(tmp_path / "box.png")], capture_output=True)
        subprocess.run(["xdotool", "windowactivate", "--sync", window], capture_output=True)
        subprocess.run(["xdotool", "key", "--window", window, "Return"], capture_output=True)
        process.wait(timeout=60)
    finally:
        if process.poll() is None:
            process.kill()
    assert process.returncode == NO_RUNTIME_EXIT
    assert b"could not find" not in process.stderr.read()


@pytest.mark.skipif(shutil.which("osslsigncode") is None or shutil.which("openssl") is None,
                    reason="needs osslsigncode and openssl")
def test_a_signed_executable_verifies_starts_and_shows_its_signature(make_app, printing_jre, tmp_path):
    """The signature's certificate table follows the block and the included
    files; the launcher finds its block from the end of the last section."""
    make_jar(tmp_path / "lib" / "tool.jar", "com.example.Tool")
    app = make_app(CONSOLE_PROJECT + '[[files]]\npath = "lib/tool.jar"\n', defaults=True)
    key, cert = tmp_path / "key.pem", tmp_path / "cert.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-subj", "/CN=tovex test signer", "-days", "2", "-addext", "extendedKeyUsage=codeSigning"],
                   check=True, capture_output=True)
    signed = tmp_path / "signed.exe"
    subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "Console tool",
                    "-in", app.exe, "-out", signed], check=True, capture_output=True)

    verify = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", signed], capture_output=True, text=True)
    assert verify.returncode == 0, verify.stdout + verify.stderr

    unsigned_report = subprocess.run([TOVEX, "inspect", "--json", app.exe], capture_output=True, text=True)
    report = subprocess.run([TOVEX, "inspect", "--json", signed], capture_output=True, text=True)
    assert report.returncode == 0, report.stderr
    unsigned, signed_json = json.loads(unsigned_report.stdout), json.loads(report.stdout)
    assert unsigned["application"]["signature"] is None
    assert signed_json["application"]["signature"]["offset"] == os.path.getsize(app.exe)
    assert signed_json["narrow"] == unsigned["narrow"]
    assert signed_json["includedFiles"] == unsigned["includedFiles"]

    shutil.copy(signed, app.exe)
    result = app.run(extra_env={"JAVA_HOME": printing_jre.windows()})
    assert result.returncode == 7, result.stderr
    assert b"Hello from the console" in result.stdout
