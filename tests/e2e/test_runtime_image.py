"""The application that brings its own Java: `tovex build` links a trimmed
Windows runtime from a Windows JDK ([runtime] image; the JDKs are made from
the installed OpenJDK 17 with the stand-ins as their native parts, see
windows_jdk.py) beside the executable, which starts from it on a machine
without any other Java: nothing registered, no JAVA_HOME, no Java on the
PATH. And the distribution zip, unpacked, runs the same."""
import os
import shutil
import subprocess
import zipfile
from pathlib import Path

import pytest

import runtimes
import windows_jdk
from harness import STUBS, TOVEX, WINE, registry_view

APP_SOURCE = """package app;
public class Main {
    public static void main(String[] args) {
        java.util.logging.Logger.getLogger("app").info("hello from the bundled runtime");
    }
}
"""
REGISTRY_ROOTS = ("JavaSoft", "Eclipse Adoptium", "AdoptOpenJDK", "Microsoft\\JDK")


@pytest.fixture(scope="session")
def app_jar(tmp_path_factory):
    """An application that needs java.logging, compiled once."""
    root = tmp_path_factory.mktemp("image-app")
    (root / "src" / "app").mkdir(parents=True)
    (root / "src" / "app" / "Main.java").write_text(APP_SOURCE)
    subprocess.run(["javac", "--release", "11", "-d", str(root / "classes"), str(root / "src" / "app" / "Main.java")],
                   check=True, capture_output=True)
    jar = root / "image-app.jar"
    with zipfile.ZipFile(jar, "w", zipfile.ZIP_DEFLATED) as out:
        out.writestr("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\nMain-Class: app.Main\r\n\r\n")
        out.write(root / "classes" / "app" / "Main.class", "app/Main.class")
    return jar


@pytest.fixture
def image_jdk(arch):
    if not runtimes.standins_built():
        pytest.skip("the stand-ins are built by `make`")
    if windows_jdk.available():
        pytest.skip(windows_jdk.available())
    if not TOVEX.exists() or not STUBS[arch].exists():
        pytest.skip(f"dist/tovex and dist/{STUBS[arch].name} are built by `make`")
    return windows_jdk.windows_jdk(arch)


@pytest.fixture
def no_registered_java(wine_env, arch):
    """No Java runtime in the registry view the launcher reads."""
    def clear():
        for root in REGISTRY_ROOTS:
            subprocess.run([WINE, "reg", "delete", f"HKLM\\SOFTWARE\\{root}", "/f", registry_view(arch)],
                           env=wine_env, capture_output=True)
    clear()
    yield
    clear()


def build_with_image(directory, jdk, jar, arch, *args):
    """Builds "Image App.exe" in directory/out as a user would (the tool's
    defaults) with [runtime] image naming the JDK: the tool's result."""
    directory.mkdir(parents=True, exist_ok=True)
    project = directory / "image-app.toml"
    project.write_text(f'applicationName = "Image App"\n[runtime]\nimage = {{ jdk = "{jdk}" }}\n'
                       f'[[files]]\npath = "{jar}"\n', encoding="utf-8")
    env = {name: value for name, value in os.environ.items() if name != "JAVA_HOME"}
    env["XDG_CACHE_HOME"] = str(directory / "cache")
    return subprocess.run([str(TOVEX), "build", str(project), "-o", str(directory / "out" / "Image App.exe"),
                           "--stub", str(STUBS[arch]), *args], env=env, capture_output=True, text=True, timeout=900)


def run_without_java(exe, wine_env, temp_logs):
    """Starts the executable with the log on and no JAVA_HOME; its PATH is
    Wine's own (Windows' folders: WINEPATH, which would add to it, is
    dropped). Its exit and its log text."""
    env = {name: value for name, value in wine_env.items() if name not in ("JAVA_HOME", "WINEPATH")}
    env["TOVEX_LOG"] = "yes"
    before = set(temp_logs())
    result = subprocess.run([WINE, str(exe)], env=env, capture_output=True, timeout=120)
    [log] = set(temp_logs()) - before
    return result, log.read_bytes().decode("cp1252").replace("\r\n", "\n")


def assert_started_from(image, jar_name, result, log):
    assert result.returncode == 0, log
    assert "Testing location runtime (type A)" in log
    assert "got version from release file 17.0" in log
    # The search stopped at the bundled runtime: nothing else was looked at.
    assert "(type E)" not in log and "(type Y)" not in log and "(type S)" not in log
    calls = runtimes.read_records(image / "bin" / "server", runtimes.JVM_CALLS_FILE)
    # jvm.dll's own library came from the image's bin, as a real runtime's do, before the JVM was made.
    assert calls[0] == "standinDependency 42" and calls[1].startswith("JNI_CreateJavaVM"), calls
    assert (image / "bin" / "jvmdep_loaded.log").exists()
    assert any(line.startswith("option=-Djava.class.path=") and jar_name in line for line in calls), calls
    assert any(line.startswith("CallStaticVoidMethod com/tovex/runtime/WinLauncher main") for line in calls), calls


def test_the_application_starts_from_the_runtime_linked_for_it(tmp_path, image_jdk, app_jar, arch, wine_env, temp_logs,
                                                                no_registered_java):
    built = build_with_image(tmp_path, image_jdk, app_jar, arch)
    assert built.returncode == 0, built.stderr
    image = tmp_path / "out" / "runtime"
    platform = windows_jdk.PLATFORMS[arch]
    # Progress and what jdeps found, then the summary with the sizes.
    assert "runtime modules from jdeps: java.base, java.desktop, java.logging" in built.stdout
    assert f"linking a Java 17.0" in built.stdout and f"runtime for {platform} with " in built.stdout
    size = windows_jdk.folder_size(image)
    assert f"wrote {image} ({size} bytes in " in built.stdout and f"Java 17.0" in built.stdout

    # The image: a Windows runtime of the modules asked for and what they require, and no more.
    assert runtimes.pe_machine(image / "bin" / "server" / "jvm.dll") == \
        (runtimes.MACHINE_AMD64 if arch == "x64" else runtimes.MACHINE_I386)
    assert (image / "bin" / "javaw.exe").exists() and (image / "lib" / "modules").exists()
    [modules] = [line.split("=", 1)[1].strip('"').split() for line in (image / "release").read_text().splitlines()
                 if line.startswith("MODULES=")]
    assert sorted(modules) == ["java.base", "java.datatransfer", "java.desktop", "java.logging", "java.prefs", "java.xml"]
    assert not (image / "include").exists() and not (image / "man").exists()
    assert size < windows_jdk.folder_size(windows_jdk.full_image(arch))

    result, log = run_without_java(tmp_path / "out" / "Image App.exe", wine_env, temp_logs)
    assert_started_from(image, app_jar.name, result, log)


def test_the_distribution_zip_unpacks_to_a_folder_that_runs(tmp_path, image_jdk, app_jar, arch, wine_env, temp_logs,
                                                            no_registered_java):
    built = build_with_image(tmp_path / "build", windows_jdk.windows_jdk_zip(arch), app_jar, arch, "--zip")
    assert built.returncode == 0, built.stderr
    archive = tmp_path / "build" / "out" / "Image App.zip"
    assert f"wrote {archive} ({archive.stat().st_size} bytes: Image App.exe and runtime in the folder Image App)" \
        in built.stdout
    # Unpacked elsewhere, with nothing of the build beside it.
    with zipfile.ZipFile(archive) as packed:
        packed.extractall(tmp_path / "user")
    shutil.rmtree(tmp_path / "build")
    folder = tmp_path / "user" / "Image App"
    assert sorted(path.name for path in folder.iterdir()) == ["Image App.exe", "runtime"]
    result, log = run_without_java(folder / "Image App.exe", wine_env, temp_logs)
    assert_started_from(folder / "runtime", app_jar.name, result, log)
