"""[runtime] image: the Windows runtime linked with this machine's jlink, its
errors before and from jlink, the JDK zip's cache, the distribution zip and
what inspect says of a bundled runtime. The Windows JDKs are made from the
installed OpenJDK 17 (tests/e2e/windows_jdk.py); the image that runs is
tested end to end in tests/e2e/test_runtime_image.py."""
import os
import re
import shutil
import sys
import zipfile
from pathlib import Path

import pytest

from .harness import make_jar

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
import runtimes  # noqa: E402
import windows_jdk  # noqa: E402


@pytest.fixture(autouse=True)
def build_machine(monkeypatch, tmp_path):
    """A build machine whose Java is found only in the system's JVM folder,
    with a cache of its own."""
    monkeypatch.delenv("JAVA_HOME", raising=False)
    monkeypatch.setenv("PATH", "/usr/bin:/bin")
    monkeypatch.setenv("XDG_CACHE_HOME", str(tmp_path / "cache"))


def jdk(arch):
    if not all((runtimes.STANDIN_DIRS[arch] / name).exists() for name in ("jvm_needs_dep.dll", "jvmdep.dll", "java.exe")):
        pytest.skip(f"the {arch} stand-ins are built by `make`")
    if windows_jdk.available():
        pytest.skip(windows_jdk.available())
    return windows_jdk.windows_jdk(arch)


def toml_path(path):
    return str(path).replace("\\", "\\\\")


def image_project(write_project, jdk_path, extra="", image_extra=""):
    return write_project(f"""\
        mainClass = "com.example.Main"
        [runtime]
        image = {{ jdk = "{toml_path(jdk_path)}"{image_extra} }}
        {extra}
        """)


def build(tovex, project, stub, *args):
    return tovex.run("build", project, "--stub", stub, "--no-runtime-library", "-o", project.parent / "out" / "App.exe",
                     *args, timeout=600)


@pytest.fixture
def stub_of(make_stub, tmp_path):
    def make(arch):
        path = tmp_path / f"launcher-{arch}.exe"
        path.write_bytes(make_stub(x64=arch == "x64"))
        return path
    return make


@pytest.mark.parametrize("jdk_of, stub_arch, found, wanted", [
    ("linux", "x64", "linux-amd64", "windows-amd64"),
    ("x64", "x86", "windows-amd64", "windows-x86"),
    ("x86", "x64", "windows-x86", "windows-amd64"),
])
def test_a_jdk_for_another_platform_is_refused_naming_both(tovex, write_project, stub_of, jdk_of, stub_arch, found,
                                                            wanted):
    home = windows_jdk.SOURCE_JDK if jdk_of == "linux" else jdk(jdk_of)
    if jdk_of == "linux" and windows_jdk.available():
        pytest.skip(windows_jdk.available())
    project = image_project(write_project, home)
    result = build(tovex, project, stub_of(stub_arch))
    assert result.returncode == 1
    assert (f"project.toml:3:17: error: [runtime] image jdk: {home} is a JDK for {found} (the target platform of "
            f"jmods/java.base.jmod), but the {stub_arch} executable needs a Windows JDK for {wanted}") in result.stderr
    assert not (project.parent / "out").exists()


def feature_without_jlink():
    """A Java feature version no JDK of this machine has."""
    installed = set()
    for release in Path("/usr/lib/jvm").glob("*/release"):
        match = re.search(r'JAVA_VERSION="(\d+)', release.read_text(errors="replace"))
        if match:
            installed.add(int(match.group(1)))
    return next(feature for feature in (21, 19, 23, 20, 22) if feature not in installed)


def test_without_a_jlink_of_the_jdks_version_the_error_says_which_to_install(tovex, write_project, stub_of, tmp_path):
    feature = feature_without_jlink()
    home = tmp_path / f"jdk-{feature}"
    home.mkdir()
    (home / "jmods").symlink_to(jdk("x64") / "jmods")
    (home / "release").write_text(f'JAVA_VERSION="{feature}.0.2"\n')
    result = build(tovex, image_project(write_project, home), stub_of("x64"))
    assert result.returncode == 1
    assert f"error: no jlink of Java {feature} on this machine" in result.stderr
    assert "found Java 17.0" in result.stderr and "/usr/lib/jvm" in result.stderr
    assert f"install a Java {feature} JDK for Linux and point JAVA_HOME at it" in result.stderr


@pytest.mark.parametrize("image_extra, message", [
    (', modules = ["java.base", "java.desktopp"]',
     "no module java.desktopp in the JDK {home} (it has no jmods/java.desktopp.jmod); did you mean 'java.desktop'?"),
    (', addModules = ["jdk.localedata"]', "no module jdk.localedata in the JDK {home}"),
])
def test_a_module_the_jdk_lacks_is_an_error_at_its_list(tovex, write_project, stub_of, image_extra, message):
    home = jdk("x64")
    project = image_project(write_project, home, image_extra=image_extra)
    result = build(tovex, project, stub_of("x64"))
    assert result.returncode == 1
    line = project.read_text().splitlines()[2]
    column = line.index("[", line.index("odules")) + 1
    # The column is worked out from the line: the JDK's path varies.
    assert f"project.toml:3:{column}: error: [runtime] image: " + message.format(home=home) in result.stderr


def test_a_failed_jlink_shows_its_own_message(tovex, write_project, stub_of, tmp_path):
    # A JDK that lacks a module another one requires: jlink itself refuses.
    home = tmp_path / "jdk-damaged"
    (home / "jmods").mkdir(parents=True)
    for jmod in (jdk("x64") / "jmods").iterdir():
        if jmod.name != "java.transaction.xa.jmod":
            (home / "jmods" / jmod.name).symlink_to(jmod)
    shutil.copyfile(jdk("x64") / "release", home / "release")
    project = image_project(write_project, home, image_extra=', modules = ["java.sql"]')
    result = build(tovex, project, stub_of("x64"))
    assert result.returncode == 1
    assert "linking a Java 17.0" in result.stdout
    assert "error: jlink failed (exit status 1):\nError: Module java.transaction.xa not found, required by java.sql" \
        in result.stderr
    assert not (project.parent / "out" / "runtime").exists()
    assert not (project.parent / "out" / "App.exe").exists()


def test_a_zipped_jdk_is_unpacked_once_into_the_cache(tovex, write_project, stub_of, tmp_path):
    jdk("x64")
    archive = windows_jdk.windows_jdk_zip("x64")
    project = image_project(write_project, archive)
    stub = stub_of("x86")  # refused after the unpacking: no jlink run needed
    first, second = build(tovex, project, stub), build(tovex, project, stub)
    [folder] = (tmp_path / "cache" / "tovex" / "jdk").iterdir()
    assert re.fullmatch("[0-9a-f]{16}", folder.name)
    assert first.stdout == f"unpacking {archive} into {folder}\n"
    assert second.stdout == f"using {archive}, unpacked before into {folder}\n"
    for result in (first, second):
        assert result.returncode == 1
        assert f"{archive} is a JDK for windows-amd64" in result.stderr
    assert (folder / "jdk-17.0.15" / "jmods" / "java.base.jmod").read_bytes() == \
        (windows_jdk.windows_jdk("x64") / "jmods" / "java.base.jmod").read_bytes()


def test_a_folder_without_a_jdk_is_named(tovex, write_project, stub_of, tmp_path):
    (tmp_path / "jre" / "bin").mkdir(parents=True)
    result = build(tovex, image_project(write_project, tmp_path / "jre"), stub_of("x64"))
    assert result.returncode == 1
    assert "holds no JDK with jmods: there is no jmods/java.base.jmod in it" in result.stderr


def test_a_folder_in_the_images_place_that_is_no_image_is_left_alone(tovex, write_project, stub_of, tmp_path):
    mine = tmp_path / "out" / "runtime" / "notes.txt"
    mine.parent.mkdir(parents=True)
    mine.write_text("mine")
    result = build(tovex, image_project(write_project, tmp_path), stub_of("x64"))
    assert result.returncode == 1
    assert "out/runtime exists and is no runtime image (it has no release file)" in result.stderr
    assert mine.read_text() == "mine"


@pytest.mark.parametrize("runtime_text, message", [
    ('image = "jdk"', "3:9: error: [runtime] image must be a table ({ jdk = \"...\" }), got a string"),
    ("image = {}", "3:9: error: [runtime] image needs the Windows JDK to link from"),
    ('image = { jdk = "jdk", modules = "java.base" }', "3:34: error: [runtime] image modules: expected a list of module "
                                                        "names such as [\"java.desktop\"], got a string"),
    ('image = { jdk = "jdk", module = ["java.base"] }', "3:24: error: unknown [runtime] image setting 'module' "
                                                         "(did you mean 'modules'?)"),
    ('image = { jdk = "jdk", addModules = ["java base"] }', "3:38: error: [runtime] image addModules: expected a module "
                                                            "name such as \"java.desktop\", got \"java base\""),
    ('bundled = "C:\\\\jre"\nimage = { jdk = "jdk" }', "4:9: error: [runtime] image: the image goes into the folder "
                                                      "[runtime] bundled names beside the executable, so that folder "
                                                      "must lie below the executable's, not \"C:\\jre\""),
    ('bundled = "../jre"\nimage = { jdk = "jdk" }', "4:9: error: [runtime] image: the image goes into the folder "
                                                    "[runtime] bundled names beside the executable, so that folder "
                                                    "must lie below the executable's, not \"../jre\""),
    ('search = ["registry"]\nimage = { jdk = "jdk" }', "3:10: warning: [runtime] search does not name \"bundled\", so "
                                                      "the executable will not look at the runtime image in 'runtime'"),
    ('[build]\npackage = "tar"', "4:11: error: [build] package: expected \"zip\" or \"none\", got \"tar\""),
])
def test_the_image_settings_are_checked(tovex, write_project, stub, runtime_text, message):
    project = write_project('mainClass = "com.example.Main"\n[runtime]\n' + runtime_text + "\n")
    result = build(tovex, project, stub)
    assert result.returncode == 1
    assert "project.toml:" + message in result.stderr


@pytest.mark.parametrize("how", ["--zip", "package"])
def test_the_distribution_zip_holds_the_executable_and_its_runtime_folder(tovex, write_project, stub, tmp_path, how):
    # A runtime assembled by hand beside the executable goes in as it is.
    runtime = tmp_path / "out" / "jre"
    (runtime / "bin" / "server").mkdir(parents=True)
    (runtime / "bin" / "server" / "jvm.dll").write_bytes(b"MZ" + bytes(range(256)) * 40)
    (runtime / "release").write_text('JAVA_VERSION="17.0.2"\n')
    make_jar(tmp_path / "app.jar", "com.example.Main")
    project = write_project('[runtime]\nbundled = "jre"\n' + ('[build]\npackage = "zip"\n' if how == "package" else "") +
                            '[[files]]\npath = "app.jar"\n')
    result = build(tovex, project, stub, *(["--zip"] if how == "--zip" else []))
    assert result.returncode == 0, result.stderr
    archive = tmp_path / "out" / "App.zip"
    assert result.stdout.splitlines()[-1] == \
        f"wrote {archive} ({archive.stat().st_size} bytes: App.exe and jre in the folder App)"
    with zipfile.ZipFile(archive) as packed:
        assert packed.testzip() is None
        assert packed.namelist() == ["App/", "App/App.exe", "App/jre/", "App/jre/bin/", "App/jre/bin/server/",
                                     "App/jre/bin/server/jvm.dll", "App/jre/release"]
        assert packed.read("App/App.exe") == (tmp_path / "out" / "App.exe").read_bytes()
        assert packed.read("App/jre/bin/server/jvm.dll") == (runtime / "bin" / "server" / "jvm.dll").read_bytes()
        assert packed.getinfo("App/jre/bin/server/jvm.dll").compress_type == zipfile.ZIP_DEFLATED
        assert packed.getinfo("App/App.exe").external_attr >> 16 == 0o100000 | (tmp_path / "out" / "App.exe").stat().st_mode & 0o777


def test_the_distribution_zip_without_a_runtime_holds_the_executable(tovex, write_project, stub, tmp_path):
    result = build(tovex, write_project('mainClass = "com.example.Main"\n'), stub, "--zip")
    assert result.returncode == 0, result.stderr
    with zipfile.ZipFile(tmp_path / "out" / "App.zip") as packed:
        assert packed.namelist() == ["App/", "App/App.exe"]


@pytest.mark.parametrize("runtime_text, line, bundled", [
    ('bundled = "jre"', "  Bundled     jre  (a Java runtime in this folder beside the executable, searched first)", "jre"),
    ('bundled = "lib/jre"\nsearch = ["registry", "bundled"]',
     "  Bundled     lib\\jre  (a Java runtime in this folder beside the executable, searched as entry 2)", "lib\\jre"),
    ('search = ["dir:C:\\\\Java", "registry"]', None, None),
])
def test_inspect_shows_where_the_executable_expects_its_bundled_runtime(tovex, write_project, stub, tmp_path,
                                                                         runtime_text, line, bundled):
    result = tovex.build(write_project('mainClass = "com.example.Main"\n[runtime]\n' + runtime_text + "\n"), stub=stub,
                         plain=False)
    assert result.returncode == 0, result.stderr
    exe = tmp_path / "project.exe"
    text = tovex.run("inspect", exe).stdout
    assert (line in text.splitlines()) if line else "Bundled" not in text
    assert tovex.inspect_json(exe)["application"]["bundledRuntime"] == bundled


def damaged(path):
    """The archive with bytes of its first entry's data inverted."""
    data = bytearray(path.read_bytes())
    for i in range(45, 60):
        data[i] ^= 0xFF
    path.write_bytes(bytes(data))


def zip_with(path, entries):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as out:
        for name, data in entries:
            out.writestr(name, data)
    return path


@pytest.mark.parametrize("make_archive, message", [
    (lambda path: zip_with(path, [("jdk/release", "x"), ("../outside.txt", "x")]),
     "entry '../outside.txt' would be written outside the folder it is unpacked into"),
    (lambda path: zip_with(path, [("/tmp/outside.txt", "x")]),
     "entry '/tmp/outside.txt' would be written outside the folder it is unpacked into"),
    (lambda path: path.write_bytes(zip_with(path, [("jdk/release", "x" * 5000)]).read_bytes()[:-30]),
     "not a zip archive (no end of central directory)"),
    (lambda path: damaged(zip_with(path, [("jdk/release", "x" * 5000)])),
     "damaged zip archive: entry 'jdk/release' does not inflate"),
])
def test_a_zip_that_cannot_be_unpacked_safely_is_refused(tovex, write_project, stub_of, tmp_path, make_archive, message):
    archive = tmp_path / "downloads" / "jdk.zip"
    archive.parent.mkdir()
    make_archive(archive)
    result = build(tovex, image_project(write_project, archive), stub_of("x64"))
    assert result.returncode == 1
    assert f"error: [runtime] image jdk: cannot unpack the JDK {archive}: {message}" in result.stderr
    assert not (tmp_path / "outside.txt").exists() and not (tmp_path / "cache" / "outside.txt").exists()
    # Nothing half unpacked is left to be taken for the JDK next time.
    cache = tmp_path / "cache" / "tovex" / "jdk"
    assert not cache.exists() or list(cache.iterdir()) == []
