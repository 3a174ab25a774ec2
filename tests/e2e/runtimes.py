"""Stand-in Java runtimes for end-to-end tests: lays out JRE and JDK
directories from the stand-ins in build/win/tests/standins (32-bit) or
build/win64/tests/standins (x86-64), as use_architecture chose (see
tests/standins/README.md), sets how they behave and reads what they recorded.

    jre = make_jre(wine_c_drive / "jre142", 'java version "1.4.2_03"')
    jre.configure_java(exit_code=1)     # standin.cfg beside every java.exe
    ...run the launcher...
    assert jre.run_count() == 1         # java.exe runs, from runs.log
    assert jre.jvm_calls()[0].startswith("JNI_CreateJavaVM")
"""
import shutil
import struct
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
ARCHITECTURES = ("x86", "x64")
STANDIN_DIRS = {"x86": REPO / "build" / "win" / "tests" / "standins",
                "x64": REPO / "build" / "win64" / "tests" / "standins"}
STANDINS = STANDIN_DIRS["x86"]
STANDIN_FILES = ("java.exe", "javaw.exe", "unpack200.exe", "jvm.dll", "jvm_noexport.dll", "jvm_probe.exe")

CONFIG_FILE = "standin.cfg"
RUNS_FILE = "runs.log"
UNPACK_FILE = "unpack_calls.log"
JVM_CALLS_FILE = "jvm_calls.log"
# The exit code of a process that called a JNIEnv function the recording
# environment lacks.
UNEXPECTED_JNI_CALL_EXIT = 97


def use_architecture(arch):
    """Lays out the stand-ins of "x86" or "x64" from now on: a runtime of the
    launcher's own architecture, as the launcher loads its jvm.dll in-process."""
    global STANDINS
    STANDINS = STANDIN_DIRS[arch]


def standins_built():
    return all((STANDINS / name).exists() for name in STANDIN_FILES)


def require_standins():
    if not standins_built():
        pytest.skip(f"the stand-ins in {STANDINS.relative_to(REPO)} are built by `make`")


def standin(name):
    return STANDINS / name


# ---- standin.cfg


def read_config(directory):
    """The settings in a directory's standin.cfg: {key: value}, or {key: [values]}
    for a key that repeats."""
    settings = {}
    path = Path(directory) / CONFIG_FILE
    if not path.exists():
        return settings
    for line in path.read_text(encoding="utf-8").splitlines():
        if "=" not in line or line.lstrip().startswith("#"):
            continue
        key, value = line.split("=", 1)
        key = key.strip()
        if key in settings:
            old = settings[key]
            settings[key] = (old if isinstance(old, list) else [old]) + [value]
        else:
            settings[key] = value
    return settings


def set_config(directory, **settings):
    """Changes the given keys of a directory's standin.cfg and keeps the others.
    A list value writes the key once per item (extra_line, missing_class);
    None removes the key; True and False write 1 and 0. A key naming one
    program goes as a keyword like javaw__exit_code (two underscores for the dot)."""
    current = read_config(directory)
    for key, value in settings.items():
        key = key.replace("__", ".")
        if value is None:
            current.pop(key, None)
        else:
            current[key] = value
    lines = []
    for key, value in current.items():
        for item in value if isinstance(value, list) else [value]:
            if isinstance(item, bool):
                item = int(item)
            lines.append(f"{key}={item}")
    Path(directory, CONFIG_FILE).write_text("".join(line + "\n" for line in lines), encoding="utf-8")


def read_records(directory, name):
    path = Path(directory) / name
    if not path.exists():
        return []
    return path.read_bytes().decode("cp1252").splitlines()


# ---- Runtime layouts


class Runtime:
    """A stand-in runtime laid out on disk: root, the directories holding a
    java.exe (java_dirs) and those holding a jvm.dll (jvm_dirs)."""

    def __init__(self, root, java_dirs, jvm_dirs, jre=None):
        self.root = Path(root)
        self.java_dirs = list(java_dirs)
        self.jvm_dirs = list(jvm_dirs)
        self.jre = jre or self

    @property
    def bin(self):
        return self.root / "bin"

    def windows(self, path=None):
        """A path of this runtime as Windows sees it, for a runtime under the
        Wine prefix's drive_c (C:\\...)."""
        return windows_path_on_c(path or self.root)

    def configure_java(self, **settings):
        """Sets java.exe's and javaw.exe's settings in every java directory:
        version_line, extra_line, exit_code, hang, stdout_line."""
        for directory in self.java_dirs:
            set_config(directory, **settings)

    def configure_jvm(self, **settings):
        """Sets every jvm.dll's settings: create_result, missing_class, ..."""
        for directory in self.jvm_dirs:
            set_config(directory, **settings)

    def configure_unpack(self, exit_code):
        set_config(self.jre.bin, unpack_exit_code=exit_code)

    def runs(self):
        """The command lines of every java.exe and javaw.exe run, directory by directory."""
        return [line for directory in self.java_dirs for line in read_records(directory, RUNS_FILE)]

    def run_count(self):
        return len(self.runs())

    def unpack_calls(self):
        return read_records(self.jre.bin, UNPACK_FILE)

    def jvm_calls(self):
        return [line for directory in self.jvm_dirs for line in read_records(directory, JVM_CALLS_FILE)]

    def create_calls(self):
        """Each JNI_CreateJavaVM call as (its line, [its option strings])."""
        calls = []
        for line in self.jvm_calls():
            if line.startswith("JNI_CreateJavaVM"):
                calls.append((line, []))
            elif calls and line.startswith(("option=", "option_with_info=")):
                calls[-1][1].append(line.split("=", 1)[1])
        return calls

    def forget_records(self):
        for directory in set(self.java_dirs + self.jvm_dirs + [self.jre.bin]):
            for name in (RUNS_FILE, UNPACK_FILE, JVM_CALLS_FILE):
                (Path(directory) / name).unlink(missing_ok=True)


def _copy(source_name, target):
    target.parent.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(standin(source_name), target)


JVM_SOURCES = {"ok": "jvm.dll", "noexport": "jvm_noexport.dll", "needs_dep": "jvm_needs_dep.dll"}
# The jars that a packed runtime ships as .pack files, under lib\.
DEFAULT_PACKED = ("rt.jar", "jsse.jar", "charsets.jar")


def jar_bytes(name):
    """What a stand-in jar (and its .pack) holds: its own name, so a test can
    tell which pack an unpacked jar came from."""
    return f"stand-in jar {name}\n".encode()


def make_jre(root, version_line=None, *, client=True, server=False, hotspot=False, javaw=True,
             jvm="ok", packed=(), unpack200=None, **java_settings):
    """Lays out a JRE at root:
        bin\\java.exe, bin\\javaw.exe (javaw=True),
        bin\\client\\jvm.dll, bin\\server\\jvm.dll, bin\\hotspot\\jvm.dll (as chosen),
        lib\\rt.jar, or lib\\<jar>.pack (rt.jar.pack) for each jar named in packed (packed=True:
        rt.jar, jsse.jar, charsets.jar), with bin\\unpack200.exe (unpack200
        defaults to whether anything is packed).
    jvm: "ok" (the stand-in), "noexport" (no JNI_CreateJavaVM) or None (no jvm.dll).
    version_line and any other keywords set java.exe's behaviour (configure_java)."""
    root = Path(root)
    bin_dir = root / "bin"
    _copy("java.exe", bin_dir / "java.exe")
    if javaw:
        _copy("javaw.exe", bin_dir / "javaw.exe")
    jvm_dirs = []
    if jvm is not None:
        for wanted, flavour in ((client, "client"), (server, "server"), (hotspot, "hotspot")):
            if wanted:
                _copy(JVM_SOURCES[jvm], bin_dir / flavour / "jvm.dll")
                jvm_dirs.append(bin_dir / flavour)
    if packed is True:
        packed = DEFAULT_PACKED
    lib = root / "lib"
    lib.mkdir(parents=True, exist_ok=True)
    for jar in packed:
        pack = lib / (jar + ".pack")
        pack.parent.mkdir(parents=True, exist_ok=True)
        pack.write_bytes(jar_bytes(jar))
    if "rt.jar" not in packed:
        (lib / "rt.jar").write_bytes(jar_bytes("rt.jar"))
    if unpack200 if unpack200 is not None else bool(packed):
        _copy("unpack200.exe", bin_dir / "unpack200.exe")
    runtime = Runtime(root, [bin_dir], jvm_dirs)
    if version_line is not None:
        java_settings["version_line"] = version_line
    if java_settings:
        runtime.configure_java(**java_settings)
    return runtime


def make_jdk(root, version_line=None, *, javaw=True, **jre_options):
    """Lays out a JDK at root: bin\\java.exe (and javaw.exe), lib\\tools.jar and
    a JRE in jre\\ (make_jre with jre_options). Its java_dirs are bin and
    jre\\bin; its jvm_dirs those of the JRE, which is runtime.jre."""
    root = Path(root)
    jre = make_jre(root / "jre", version_line, javaw=javaw, **jre_options)
    _copy("java.exe", root / "bin" / "java.exe")
    if javaw:
        _copy("javaw.exe", root / "bin" / "javaw.exe")
    (root / "lib").mkdir(parents=True, exist_ok=True)
    (root / "lib" / "tools.jar").write_bytes(jar_bytes("tools.jar"))
    jdk = Runtime(root, [root / "bin", root / "jre" / "bin"], jre.jvm_dirs, jre=jre)
    settings = read_config(jre.bin)
    if settings:
        set_config(root / "bin", **settings)
    return jdk


def write_release(home, version):
    """A runtime home's release file, as a JDK of Java 9 and later has it."""
    Path(home, "release").write_text(f'IMPLEMENTOR="Stand-in"\nJAVA_VERSION="{version}"\n'
                                     'JAVA_VERSION_DATE="2024-10-15"\n', encoding="ascii")


def make_modern_jdk(root, version_line=None, *, release=None, **jre_options):
    """A runtime laid out as Java 9 and later: bin\\java.exe, bin\\javaw.exe,
    bin\\server\\jvm.dll (no client folder, no jre folder) and, with release,
    a release file naming that version."""
    jre_options.setdefault("client", False)
    jre_options.setdefault("server", True)
    runtime = make_jre(root, version_line, **jre_options)
    if release is not None:
        write_release(root, release)
    return runtime


MACHINE_I386 = 0x14C
MACHINE_AMD64 = 0x8664


def pe_machine(path):
    data = Path(path).read_bytes()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    return struct.unpack_from("<H", data, pe + 4)[0]


def set_pe_machine(path, machine):
    """Rewrites a PE file's machine field: all a look at a runtime's architecture reads."""
    data = bytearray(Path(path).read_bytes())
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    struct.pack_into("<H", data, pe + 4, machine)
    Path(path).write_bytes(bytes(data))


def make_other_architecture(runtime, machine=MACHINE_AMD64):
    """Turns every jvm.dll of a stand-in runtime into one of another machine
    (by default a 64-bit one, for the 32-bit launcher)."""
    for directory in runtime.jvm_dirs:
        set_pe_machine(Path(directory) / "jvm.dll", machine)
    return runtime


def windows_path_on_c(path):
    """C:\\... for a path under a Wine prefix's drive_c, without starting Wine."""
    parts = Path(path).resolve().parts
    index = len(parts) - 1 - parts[::-1].index("drive_c")
    return "C:\\" + "\\".join(parts[index + 1:])


# ---- DLL exports


def dll_exports(path):
    """The names a PE file exports, read from its export directory."""
    data = Path(path).read_bytes()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections = struct.unpack_from("<H", data, pe + 6)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    pe32_plus = struct.unpack_from("<H", data, optional)[0] == 0x20B
    export_rva = struct.unpack_from("<I", data, optional + (112 if pe32_plus else 96))[0]  # data directory 0
    if export_rva == 0:
        return []

    def offset(rva):
        for i in range(sections):
            header = optional + optional_size + 40 * i
            size, address, _, raw = struct.unpack_from("<IIII", data, header + 8)
            if address <= rva < address + max(size, 1):
                return rva - address + raw
        raise ValueError(f"RVA {rva:#x} is in no section")

    count, _, names_rva = struct.unpack_from("<III", data, offset(export_rva) + 24)
    names = []
    for i in range(count):
        name_rva = struct.unpack_from("<I", data, offset(names_rva) + 4 * i)[0]
        start = offset(name_rva)
        names.append(data[start:data.index(b"\0", start)].decode("ascii"))
    return names
