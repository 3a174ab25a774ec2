"""Start-up as a user meets it: exit codes and the texts on standard error."""
import pytest

from blockfile import layout
from harness import NO_RUNTIME_EXIT, NO_RUNTIME_PROJECT, NO_RUNTIME_TEXT, STUBS, App, stderr_text


def test_without_a_runtime_the_configured_message_ends_the_start_with_83(make_app):
    result = make_app(NO_RUNTIME_PROJECT).run()
    assert result.returncode == NO_RUNTIME_EXIT
    assert stderr_text(result) == NO_RUNTIME_TEXT + "\n"
    assert result.stdout == b""


@pytest.mark.parametrize("executable_type, args", [
    (None, []),                         # absent counts as 0: a console type
    (0, []),
    (2, []),
    (1, ["-q_vdl_internal"]),           # the quiet switch wins over a GUI type
    (5, ["-q_vdl_internal"]),
    (1, ["-q_vdl_internalAndMore", "x"]),  # a prefix test
])
def test_error_text_goes_to_standard_error_when_message_boxes_are_off(make_app, executable_type, args):
    project = NO_RUNTIME_PROJECT + ("" if executable_type is None else f"executableType = {executable_type}\n")
    result = make_app(project).run(*args)
    assert result.returncode == NO_RUNTIME_EXIT
    assert stderr_text(result).startswith("Nothing to run this with.")


def test_default_message_names_the_home_variable(make_app):
    result = make_app('applicationName = "Defaults"\n').run()
    assert result.returncode == NO_RUNTIME_EXIT
    text = stderr_text(result)
    assert text.startswith("No JVM could be found on your system.\r\nPlease define TOVEX_JAVA_HOME\r\n")
    assert "to point to an installed JDK or JRE" in text


def damage(app, change):
    data = bytearray(app.exe.read_bytes())
    data = change(data, layout(bytes(data)))
    app.exe.write_bytes(bytes(data))
    return app


def wrong_magic(data, parts):
    data[parts["magic"]] ^= 0xFF
    return data


def cut_inside_a_narrow_text(data, parts):
    record = max(parts["narrow"], key=lambda r: r["length"])
    return data[:record["text"] + record["length"] // 2]


def cut_inside_the_wide_count(data, parts):
    return data[:parts["wide_count"] + 2]


def cut_inside_a_wide_text(data, parts):
    record = parts["wide"][0]
    return data[:record["text"] + 1]


@pytest.mark.parametrize("change, text", [
    (wrong_magic, "Internal Error: magic"),
    (cut_inside_a_narrow_text, "Internal Error: readString"),
    (cut_inside_the_wide_count, "Internal Error: readInt"),
    (cut_inside_a_wide_text, "Internal Error: readWString"),
])
def test_a_damaged_block_ends_with_its_fixed_text_and_exit_code_1(make_app, change, text):
    app = damage(make_app(NO_RUNTIME_PROJECT + '[raw.wide]\n"5000" = "wide text"\n'), change)
    result = app.run("-q_vdl_internal")
    assert result.returncode == 1
    assert stderr_text(result) == text + "\n"


def test_a_failed_count_read_prints_the_system_error_code(make_app):
    app = damage(make_app(NO_RUNTIME_PROJECT), cut_inside_the_wide_count)
    result = app.run("-q_vdl_internal")
    assert result.stdout.decode().replace("\r\n", "\n").startswith("error ")


def test_the_bare_stub_has_no_block(wine_env, arch):
    result = App(STUBS[arch], wine_env).run("-q_vdl_internal")
    assert result.returncode == 1
    assert stderr_text(result) == "Internal Error: readInt\n"


def test_an_executable_in_a_folder_outside_the_code_page_still_reads_its_block(make_app, wine_c_drive):
    # Its path has no narrow form in Windows-1252: the launcher opens itself
    # through the short form of the path.
    folder = wine_c_drive / "Приложение тест"
    app = make_app(NO_RUNTIME_PROJECT, directory=folder)
    result = app.run()
    assert result.returncode == NO_RUNTIME_EXIT
    assert stderr_text(result).startswith("Nothing to run this with.")
