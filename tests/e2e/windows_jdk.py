"""Windows JDKs for the runtime image's tests, made from this machine's
OpenJDK 17: no Windows JDK can be downloaded here, but a Windows jmod is an
ordinary jmod whose target platform is windows-amd64 (or windows-x86) and
whose native libraries are Windows DLLs. Each module the tests need is
extracted with `jmod extract` and made again with `jmod create
--target-platform windows-...`; java.base gets the stand-ins (tests/standins)
as its native parts: a modern jvm.dll under the lib's server\\ (which jlink
puts into bin\\server\\ on Windows) that needs jvmdep.dll from bin\\, and
java.exe and javaw.exe as its commands. The Linux libraries (.so) of the
modules are left out; java.base records the hashes of the modules made with
it, as a JDK's build does.

    home = windows_jdk("x64")          # build/windows-jdks/<key>/jdk-17.0.15 (jmods, release, bin)
    archive = windows_jdk_zip("x64")   # the same as a vendor's zip: one folder jdk-17.0.15/ inside

Making them takes a minute, so they are kept in build/windows-jdks under a
key of everything they are made from (the source JDK's version, the
stand-ins' bytes, this file) and made once for all sessions; tests must
not change them.
"""
import hashlib
import shutil
import subprocess
import zipfile
from pathlib import Path

import runtimes

REPO = Path(__file__).resolve().parents[2]
SOURCE_JDK = Path("/usr/lib/jvm/java-17-openjdk-amd64")
CACHE = REPO / "build" / "windows-jdks"
PLATFORMS = {"x64": "windows-amd64", "x86": "windows-x86"}
# What the application of the tests needs (java.base, java.logging and, for
# the runtime library's splash controller, java.desktop with what it
# requires), and modules it does not need, so that a trimmed image is smaller.
MODULES = ("java.logging", "java.xml", "java.datatransfer", "java.prefs", "java.desktop",
           "java.sql", "java.transaction.xa", "java.naming", "java.security.sasl")
# The stand-ins java.base carries, by where they go in the jmod's lib and cmds.
BASE_LIBS = {"server/jvm.dll": "jvm_needs_dep.dll", "jvmdep.dll": "jvmdep.dll"}
BASE_COMMANDS = ("java.exe", "javaw.exe")


def jdk_tool(name):
    return str(SOURCE_JDK / "bin" / name)


def source_version():
    for line in (SOURCE_JDK / "release").read_text().splitlines():
        if line.startswith("JAVA_VERSION="):
            return line.split("=", 1)[1].strip('"')
    raise RuntimeError(f"{SOURCE_JDK}/release names no JAVA_VERSION")


def available():
    """Why no Windows JDK can be made here, or None."""
    if not (SOURCE_JDK / "jmods" / "java.base.jmod").exists():
        return f"{SOURCE_JDK}/jmods is missing (openjdk-17-jdk-headless ships it)"
    return None


def _key(arch):
    digest = hashlib.sha256(Path(__file__).read_bytes())
    digest.update(source_version().encode())
    for name in (*BASE_LIBS.values(), *BASE_COMMANDS):
        digest.update((runtimes.STANDIN_DIRS[arch] / name).read_bytes())
    return f"{PLATFORMS[arch]}-{source_version()}-{digest.hexdigest()[:12]}"


def _extracted(module):
    """The source module's content, extracted once for every platform."""
    folder = CACHE / "extracted" / source_version() / module
    if not folder.exists():
        partial = folder.with_name(module + ".partial")
        shutil.rmtree(partial, ignore_errors=True)
        subprocess.run([jdk_tool("jmod"), "extract", "--dir", str(partial), str(SOURCE_JDK / "jmods" / f"{module}.jmod")],
                       check=True, capture_output=True)
        partial.rename(folder)
    return folder


def _windows_libs(content, target):
    """The module's lib folder without the Linux programs and libraries; None when nothing is left."""
    source = content / "lib"
    if not source.exists():
        return None
    for path in source.rglob("*"):
        relative = path.relative_to(source)
        if path.is_dir() or path.suffix == ".so" or relative.parts[0] == "server" or path.name in ("jexec", "jspawnhelper"):
            continue
        (target / relative).parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(path, target / relative)
    return target if any(target.rglob("*")) else None


def _create(module, platform, jmods, work, *extra):
    content = _extracted(module)
    arguments = [jdk_tool("jmod"), "create", "--target-platform", platform, "--class-path", str(content / "classes")]
    if (content / "conf").exists():
        arguments += ["--config", str(content / "conf")]
    if (content / "legal").exists():
        arguments += ["--legal-notices", str(content / "legal")]
    libs = work / module / "lib"
    libs.mkdir(parents=True, exist_ok=True)
    return arguments, libs, [*extra, str(jmods / f"{module}.jmod")]


def _make(arch, home):
    platform = PLATFORMS[arch]
    jmods = home / "jmods"
    jmods.mkdir(parents=True)
    work = home.parent / "work"
    for module in MODULES:
        arguments, libs, rest = _create(module, platform, jmods, work)
        if _windows_libs(_extracted(module), libs):
            arguments += ["--libs", str(libs)]
        subprocess.run(arguments + rest, check=True, capture_output=True)
    # java.base last: it records the hashes of the modules above.
    arguments, libs, rest = _create("java.base", platform, jmods, work, "--module-version", source_version(),
                                    "--hash-modules", ".*", "--module-path", str(jmods))
    _windows_libs(_extracted("java.base"), libs)
    for target, name in BASE_LIBS.items():
        (libs / target).parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(runtimes.STANDIN_DIRS[arch] / name, libs / target)
    commands = work / "java.base" / "bin"
    commands.mkdir(parents=True)
    for name in BASE_COMMANDS:
        shutil.copyfile(runtimes.STANDIN_DIRS[arch] / name, commands / name)
    subprocess.run(arguments + ["--libs", str(libs), "--cmds", str(commands)] + rest, check=True, capture_output=True)
    # The rest of a JDK's home, as far as a look at it goes: its own runtime's programs and the release file.
    (home / "bin" / "server").mkdir(parents=True)
    for name in BASE_COMMANDS:
        shutil.copyfile(commands / name, home / "bin" / name)
    shutil.copyfile(libs / "server" / "jvm.dll", home / "bin" / "server" / "jvm.dll")
    shutil.copyfile(libs / "jvmdep.dll", home / "bin" / "jvmdep.dll")
    (home / "release").write_text(f'IMPLEMENTOR="Stand-in"\nJAVA_VERSION="{source_version()}"\n'
                                  f'OS_NAME="Windows"\nOS_ARCH="{"amd64" if arch == "x64" else "x86"}"\n'
                                  f'MODULES="java.base {" ".join(MODULES)}"\n', encoding="ascii")
    shutil.rmtree(work)


def windows_jdk(arch):
    """The home of a Windows JDK of the architecture, made once (see above)."""
    folder = CACHE / _key(arch)
    home = folder / f"jdk-{source_version()}"
    if not home.exists():
        partial = CACHE / (_key(arch) + ".partial")
        shutil.rmtree(partial, ignore_errors=True)
        _make(arch, partial / home.name)
        partial.rename(folder)
    return home


def windows_jdk_zip(arch):
    """The JDK as a vendor ships it: a zip holding its home folder."""
    home = windows_jdk(arch)
    archive = home.parent / f"{home.name}_{PLATFORMS[arch]}.zip"
    if not archive.exists():
        partial = archive.with_suffix(".partial")
        with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED) as out:
            for path in sorted(home.rglob("*")):
                out.write(path, str(path.relative_to(home.parent)))
        partial.rename(archive)
    return archive


def full_image(arch):
    """An image of every module of the JDK, linked once: what a runtime without trimming would be."""
    home = windows_jdk(arch)
    image = home.parent / "full-image"
    if not image.exists():
        partial = home.parent / "full-image.partial"
        shutil.rmtree(partial, ignore_errors=True)
        subprocess.run([jdk_tool("jlink"), "--module-path", str(home / "jmods"), "--add-modules",
                        ",".join(("java.base",) + MODULES), "--output", str(partial), "--strip-java-debug-attributes",
                        "--no-header-files", "--no-man-pages", "--compress=2"], check=True, capture_output=True)
        partial.rename(image)
    return image


def folder_size(folder):
    return sum(path.stat().st_size for path in Path(folder).rglob("*") if path.is_file())
