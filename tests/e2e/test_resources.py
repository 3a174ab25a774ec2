"""An application with a splash picture, an icon and version information:
it still starts as before, and Windows finds what tovex put in."""
import pytest

from harness import NO_RUNTIME_EXIT, REPO, probe

EXAMPLE = REPO / "examples" / "hello"

PROJECT = f'''
applicationName = "Resources test"
msgNoJvm = "No runtime for the resources test."
splashWidth = 256
splashHeight = 86

[resources]
splashPicture = "{(EXAMPLE / 'splash.bmp').as_posix()}"
icon = "{(EXAMPLE / 'hello.ico').as_posix()}"

[resources.version]
fileVersion = "4.3.2.1"
productVersion = "4.3"
productName = "Résumé Viewer"
companyName = "Example Ltd"
fileDescription = "Shows résumés"
copyright = "© 2026 Example Ltd"
'''


@pytest.fixture
def app(make_app):
    return make_app(PROJECT)


def test_an_application_with_resources_starts_as_before(app):
    result = app.run()
    assert result.returncode == NO_RUNTIME_EXIT
    assert result.stderr.decode("cp1252") == "No runtime for the resources test.\n"


def test_windows_reads_the_version_picture_and_icon(app):
    lines = probe(app, app.exe)
    assert lines == [
        "fixed FileVersion 4.3.2.1 ProductVersion 4.3.0.0",
        "string CompanyName=Example Ltd",
        "string FileDescription=Shows résumés",
        "string FileVersion=4.3.2.1",
        "string LegalCopyright=© 2026 Example Ltd",
        "string ProductName=Résumé Viewer",
        "string ProductVersion=4.3",
        lines[7],  # the bitmap, in the display's depth
        "icon ID_SPLASH_ICON 32x32",
        "shell icons 1",
    ]
    assert lines[7].startswith("bitmap 10000 256x86 ")


def test_without_resources_the_stub_keeps_its_own_version(make_app):
    plain = make_app('applicationName = "Plain"\n', name="plain")
    lines = probe(plain, plain.exe)
    assert "string ProductName=tovex" in lines
    assert "no bitmap 10000" in lines and "no icon ID_SPLASH_ICON" in lines
    assert "shell icons 0" in lines
