"""The settings a Java developer writes by name (program kind, class path,
runtime search and bounds, main class) and what the tool makes of them: the
launcher's codes, the defaults of a double-clickable executable, and a clear
error with file:line for everything the launcher would skip or misread."""
import struct
import subprocess
import zipfile

import pytest

from .harness import OPTIONAL_HEADER, make_jar, read_block, read_resources, version_strings

SUBSYSTEM = OPTIONAL_HEADER + 68
MAIN = 'mainClass = "com.example.Main"\n'


def narrow_records(exe):
    narrow, _, _ = read_block(exe.read_bytes())
    return {key: value.decode("cp1252") for key, value in narrow}


def build_named(tovex, write_project, stub, text):
    project = write_project(text)
    result = tovex.build(project, stub=stub, plain=False)
    assert result.returncode == 0, result.stderr
    return project.with_suffix(".exe"), result


# (id, project text, "line:column", expected message text)
BAD_PROJECTS = [
    ("unknown-search-word", MAIN + '[runtime]\nsearch = ["env:JAVA_HOME", "registery"]\n', "3:28",
     "[runtime] search: unknown search entry 'registery' (did you mean 'registry'?)"),
    ("bundled-without-folder", MAIN + '[runtime]\nsearch = ["bundled"]\n', "3:11",
     "'bundled' needs the folder of the bundled runtime"),
    ("bundled-folder-with-separator", MAIN + '[runtime]\nbundled = "jre;x"\n', "3:11", "cannot hold ';'"),
    ("empty-env-search", MAIN + '[runtime]\nsearch = ["env:"]\n', "3:11", "'env:' needs a variable name"),
    ("class-path-wildcard-in-name", MAIN + 'classPath = ["lib/app-*.jar"]\n', "2:14",
     "a wildcard can only stand for a folder's archives"),
    ("class-path-entry-not-a-path", MAIN + 'classPath = [3]\n', "2:14", "'classPath' entries are paths"),
    ("class-path-string-read-as-type", MAIN + 'classPath = "lib\\\\myapp.jar;lib\\\\*"\n', "2:13",
     "'classPath': class path entry 'lib\\myapp.jar' starts with 'l', which is not a class path type"),
    ("class-path-code-without-flag", MAIN + 'classPath = "Slib;"\n', "2:13",
     "class path entry 'Slib' lacks its required flag ('1' or '0')"),
    ("raw-class-path-wrong-letter", MAIN + '[raw.narrow]\n"121" = "X1lib;"\n', "3:9",
     "[raw.narrow] key 121: class path entry 'X1lib' starts with 'X'"),
    ("search-code-wrong-letter", MAIN + 'jvmSearchSequence = "JAVA_HOME;"\n', "2:21",
     "search entry 'JAVA_HOME' starts with 'J', which is not a search type"),
    ("search-path-with-text", MAIN + 'jvmSearchSequence = "SJAVA_HOME;"\n', "2:21",
     "'S' takes no text, the launcher would ignore 'JAVA_HOME' (for a variable write 'EJAVA_HOME')"),
    ("unknown-executable-type", MAIN + "executableType = 2\n", "2:18", "executable type '2' is not one the launcher knows"),
    ("min-above-max", MAIN + '[runtime]\nminVersion = "17"\nmaxVersion = "11"\n', "4:14",
     "the maximum Java version \"11\" is below the minimum \"17\" ([runtime] minVersion at line 3)"),
    ("min-above-max-old-style", MAIN + 'minJavaVersion = "1.8.0_402"\nmaxJavaVersion = "1.7"\n', "3:18",
     "is below the minimum"),
    ("bad-version-text", MAIN + 'minJavaVersion = "seventeen"\n', "2:18", '"seventeen" is not a Java version'),
    ("bad-version-text-runtime", MAIN + '[runtime]\nmaxVersion = "21.x"\n', "3:14", '"21.x" is not a Java version'),
    ("no-main-class-no-jar", 'applicationName = "x"\n', "1:1", "no main class: set mainClass"),
    ("no-main-class-jar-without-one", '[[files]]\npath = "lib/plain.jar"\n', "2:8",
     "(the manifest of lib/plain.jar names none)"),
    ("no-main-class-damaged-jar", '[[files]]\npath = "lib/broken.jar"\n', "2:8",
     "(the manifest of lib/broken.jar names none)"),
    ("named-and-raw-together", MAIN + "console = true\nexecutableType = 0\n", "3:18",
     "narrow key 107 is set twice: by 'console' at line 2 and by 'executableType'"),
    ("both-minimum-spellings", MAIN + 'minJavaVersion = "11"\n[runtime]\nminVersion = "17"\n', "4:14",
     "narrow key 126 is set twice: by 'minJavaVersion' at line 2 and by [runtime] minVersion"),
    ("gui-and-console", MAIN + "gui = true\nconsole = true\n", "3:11", "'console' contradicts 'gui' at line 2"),
    ("unknown-runtime-setting", MAIN + '[runtime]\nminVerison = "17"\n', "3:1",
     "unknown [runtime] setting 'minVerison' (did you mean 'minVersion'?)"),
    ("download-page-not-a-web-address", MAIN + 'downloadUrl = "C:\\\\setup.exe"\n', "2:15",
     "is not a web address; the download page must start with https:// or http://"),
    # The shell hands the address to a browser's command line: a quote or blank there splits it.
    ("download-page-with-a-quote", MAIN + 'downloadUrl = \'https://a" --injected-flag "x\'\n', "2:15",
     "holds a quote at character 10, which the browser's command line could split at; write it percent-encoded (%22)"),
    ("download-page-with-a-blank", MAIN + 'downloadUrl = "https://a/b c"\n', "2:15",
     "holds a blank at character 12"),
    ("download-page-with-a-line-feed", MAIN + 'downloadUrl = "https://a/\\nx"\n', "2:15",
     "holds a control character at character 11"),
    ("download-page-with-a-lone-percent", MAIN + 'downloadUrl = "https://a/%g1"\n', "2:15",
     "the '%' at character 11 is not followed by two hexadecimal digits"),
    ("download-page-without-a-host", MAIN + 'downloadUrl = "https:///java"\n', "2:15", "it names no host"),
    ("bad-manifest", MAIN + '[resources]\nmanifest = "lib/plain.jar"\n', "3:12", "not an application manifest"),
    # The main class is looked for in the included jars; lib/plain.jar holds com.example.Main only.
    ("main-class-in-no-jar", 'mainClass = "com.example.Mian"\n[[files]]\npath = "lib/plain.jar"\n', "1:13",
     "'mainClass': the main class com.example.Mian is in none of the included jars (lib/plain.jar) (did you mean "
     "com.example.Main?); the start would fail with ClassNotFoundException: correct mainClass, or include the jar "
     "that holds the class"),
    ("main-class-of-the-manifest-in-no-jar", '[[files]]\npath = "lib/elsewhere.jar"\n', "2:8",
     "the Main-Class of lib/elsewhere.jar: the main class com.example.Elsewhere is in none of the included jars"),
    ("main-class-raw-in-no-jar", '[raw.narrow]\n"122" = "Main"\n[[files]]\npath = "lib/plain.jar"\n', "2:9",
     "[raw.narrow] key 122: the main class Main is in none of the included jars (lib/plain.jar)"),
]


@pytest.mark.parametrize("text, where, message", [case[1:] for case in BAD_PROJECTS],
                         ids=[case[0] for case in BAD_PROJECTS])
def test_bad_project_is_refused_with_its_location(tovex, write_project, stub, tmp_path, text, where, message):
    make_jar(tmp_path / "lib" / "plain.jar")
    # Names a Main-Class it does not hold.
    jar_with(tmp_path / "lib" / "elsewhere.jar", ["com/example/Main.class"],
             "Manifest-Version: 1.0\r\nMain-Class: com.example.Elsewhere\r\n")
    # A zip directory end that promises 65535 entries far beyond the file's end.
    (tmp_path / "lib" / "broken.jar").write_bytes(b"PK\x05\x06" + b"\xff" * 18)
    project = write_project(text)
    result = tovex.build(project, stub=stub, plain=False)
    assert result.returncode == 1
    assert f"{project}:{where}: error: " in result.stderr
    assert message in result.stderr
    assert not project.with_suffix(".exe").exists()


# (id, project text, key, stored code)
NAMED_FORMS = [
    ("class-path-words", MAIN + 'classPath = ["lib/app.jar", "lib/*.jar", "ext/*", "classes/", "env:EXTRA_CP",'
                                ' {path = "plugins/x.jar", required = false}]\n',
     121, "A1lib\\app.jar;S1lib;S1ext;D1classes;E1EXTRA_CP;A0plugins\\x.jar;"),
    ("class-path-code-as-written", MAIN + 'classPath = "S0.\\\\lib;"\n', 121, "S0.\\lib;"),
    ("search-words", MAIN + '[runtime]\nbundled = "jre"\n'
                            'search = ["bundled", "env:JAVA_HOME", "registry", "path", "dir:C:\\\\Java\\\\jdk"]\n',
     128, "Ajre;EJAVA_HOME;Y;S;AC:\\Java\\jdk;"),
    ("default-search", MAIN, 128, "EJAVA_HOME;Y;S;"),
    ("default-search-with-bundled-runtime", MAIN + '[runtime]\nbundled = "runtime/jre"\n', 128,
     "Aruntime\\jre;EJAVA_HOME;Y;S;"),
    ("search-code-as-written", MAIN + 'jvmSearchSequence = "Y;EJDK_HOME;"\n', 128, "Y;EJDK_HOME;"),
    ("gui-by-default", MAIN, 107, "1"),
    ("console", MAIN + "console = true\n", 107, "0"),
    ("gui-false-is-console", MAIN + "gui = false\n", 107, "0"),
    ("executable-type-as-written", MAIN + "executableType = 5\n", 107, "5"),
    ("modern-runtime-by-default", MAIN, 3001, "1"),
    ("modern-runtime-off", MAIN + "[runtime]\nmodern = false\n", 3001, None),
    ("runtime-bounds", MAIN + '[runtime]\nminVersion = "11.0.22+7"\nmaxVersion = "21"\nallowPrerelease = true\n'
                              'requireJdk = true\n', 126, "11.0.22+7"),
    ("runtime-maximum", MAIN + '[runtime]\nminVersion = "21.0.5"\nmaxVersion = "21"\n', 127, "21"),
    ("runtime-prerelease", MAIN + '[runtime]\nallowPrerelease = true\n', 130, "1"),
    ("runtime-jdk", MAIN + '[runtime]\nrequireJdk = true\n', 131, "1"),
    ("caption-is-the-application", MAIN + 'applicationName = "Hello"\n', 1000, "Hello"),
    ("caption-without-a-name", MAIN, 1000, "Error"),
    # The launcher fills in what Java threw only with the modern search on.
    ("exception-in-the-message", MAIN + 'applicationName = "Hello"\n', 1005,
     "Hello stopped because of an error in Java:\r\n%EXCEPTION%"),
    ("no-exception-without-modern", MAIN + 'applicationName = "Hello"\n[runtime]\nmodern = false\n', 1005,
     "Hello could not start Java. The main method may have thrown an exception."),
    ("copy-hint", MAIN, 3006, "Press Ctrl+C to copy this message."),
    # The launcher refuses a working directory it cannot enter only with the modern switch.
    ("working-directory-message", MAIN + 'applicationName = "Hello"\n', 3008,
     "Hello cannot start in its working directory\r\n%FILE_NAME%:\r\nthe folder does not exist or cannot be entered."),
    ("no-working-directory-message-without-modern", MAIN + "[runtime]\nmodern = false\n", 3008, None),
    ("download-page", MAIN + 'downloadUrl = "https://example.org/java"\n', 3004, "https://example.org/java"),
    # The no-runtime text names the download page the box offers, not a second address.
    ("download-page-in-the-message", MAIN + 'applicationName = "Hello"\ndownloadUrl = "https://example.org/java"\n',
     1001, "Hello needs a Java runtime,\r\nbut none that fits was found on this computer.\r\nJava runtimes looked "
     "at:\r\n%RUNTIMES_TRIED%\r\nPlease install one, for example from\r\nhttps://example.org/java\r\nand start "
     "Hello again."),
    # Reused extraction is off unless asked for, by either name.
    ("extraction-not-reused-by-default", MAIN, 3007, None),
    ("reuse-extraction", MAIN + "reuseExtraction = true\n", 3007, "1"),
    ("build-reuse-extraction", MAIN + "[build]\nreuseExtraction = true\n", 3007, "1"),
]


@pytest.mark.parametrize("text, key, stored", [case[1:] for case in NAMED_FORMS],
                         ids=[case[0] for case in NAMED_FORMS])
def test_named_settings_become_the_launcher_codes(tovex, write_project, stub, text, key, stored):
    exe, _ = build_named(tovex, write_project, stub, text)
    assert narrow_records(exe).get(key) == stored


@pytest.mark.parametrize("text, subsystem", [(MAIN, 2), (MAIN + "console = true\n", 3), (MAIN + "gui = true\n", 2),
                                             (MAIN + "executableType = 0\n", 2)])
def test_only_a_console_program_gets_the_console_subsystem(tovex, write_project, stub, text, subsystem):
    exe, _ = build_named(tovex, write_project, stub, text)
    assert struct.unpack_from("<H", exe.read_bytes(), SUBSYSTEM)[0] == subsystem


def test_default_messages_name_the_application_and_its_java(tovex, write_project, stub):
    exe, _ = build_named(tovex, write_project, stub,
                         MAIN + 'applicationName = "Hello"\n[runtime]\nminVersion = "17"\n')
    records = narrow_records(exe)
    assert records[1001] == ("Hello needs Java 17 or later,\r\nbut none that fits was found on this computer.\r\n"
                             "Java runtimes looked at:\r\n%RUNTIMES_TRIED%\r\n"
                             "Please install one, for example from\r\nhttps://adoptium.net/\r\nand start Hello again.")
    assert records[3003].startswith("Hello needs Java 17 or later built for %REQUIRED_ARCH% Windows;")
    assert all("TOVEX_JAVA_HOME" not in records[key] for key in range(1000, 1012))
    assert "%ENV_VAR_NAME%" in records[1003] and "%DEFINED_PATH%" in records[1004]


def test_a_plain_build_writes_only_what_the_project_sets(tovex, write_project, stub):
    project = write_project('applicationName = "Hello"\n')
    assert tovex.build(project, stub=stub).returncode == 0
    records = narrow_records(project.with_suffix(".exe"))
    assert sorted(key for key in records if key < 1000 or key > 1011) == [101]
    assert records[1000] == "Error" and "TOVEX_JAVA_HOME" in records[1001]
    assert struct.unpack_from("<H", project.with_suffix(".exe").read_bytes(), SUBSYSTEM)[0] == 2


@pytest.mark.parametrize("compress", [True, False], ids=["deflated", "stored"])
def test_main_class_comes_from_the_first_jar_and_the_tool_says_so(tovex, write_project, stub, tmp_path, compress):
    long_name = "com.example." + "deeply." * 12 + "Main"
    make_jar(tmp_path / "lib" / "first.jar", long_name, compress=compress)
    make_jar(tmp_path / "lib" / "second.jar", "com.example.Other")
    exe, result = build_named(tovex, write_project, stub,
                              '[[files]]\npath = "lib/first.jar"\n[[files]]\npath = "lib/second.jar"\n')
    assert narrow_records(exe)[122] == long_name
    assert f"note: main class {long_name} from the manifest of lib/first.jar" in result.stderr


def test_a_maven_version_becomes_numeric_with_a_warning(tovex, write_project, stub):
    exe, result = build_named(tovex, write_project, stub,
                              MAIN + '[resources.version]\nfileVersion = "1.0-SNAPSHOT"\n'
                                     'productVersionText = "1.0-SNAPSHOT (build 7)"\n')
    assert ('[resources.version] fileVersion: "1.0-SNAPSHOT" is not a Windows version number; '
            "the numeric version is 1.0.0.0") in result.stderr
    [version] = [data for (kind, _, _), data in read_resources(exe.read_bytes()).items() if kind == 16]
    strings, file_version, product_version = version_strings(version)
    assert strings["FileVersion"] == "1.0-SNAPSHOT"
    assert strings["ProductVersion"] == "1.0-SNAPSHOT (build 7)"
    assert file_version == product_version == (1, 0, 0, 0)


def fake_jvm_dll(home, folder, machine):
    path = home / "bin" / folder / "jvm.dll"
    path.parent.mkdir(parents=True)
    image = bytearray(0x200)
    image[0:2] = b"MZ"
    struct.pack_into("<I", image, 0x3C, 0x80)
    image[0x80:0x84] = b"PE\0\0"
    struct.pack_into("<H", image, 0x84, machine)
    path.write_bytes(bytes(image))


@pytest.mark.parametrize("folder, machine, problem", [
    ("server", 0x14C, None),
    ("client", 0x14C, None),
    ("server", 0x8664, "is built for 64-bit x64 (0x8664), but the executable is 32-bit x86 (0x14c)"),
    (None, None, "it has neither bin/server/jvm.dll nor bin/client/jvm.dll"),
])
def test_a_runtime_to_ship_is_checked_against_the_executable(tovex, write_project, stub, tmp_path, folder,
                                                             machine, problem):
    home = tmp_path / "jre"
    home.mkdir()
    if folder:
        fake_jvm_dll(home, folder, machine)
    project = write_project(MAIN + '[build]\nruntime = "jre"\n')
    for result in (tovex.build(project, stub=stub, plain=False),
                   tovex.build(write_project(MAIN, "other.toml"), "--runtime", home, stub=stub, plain=False)):
        assert result.returncode == (1 if problem else 0), result.stderr
        if problem:
            assert problem in result.stderr


def test_a_project_manifest_replaces_the_stubs(tovex, write_project, stub, tmp_path):
    manifest = b'<?xml version="1.0"?>\n<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0"/>\n'
    (tmp_path / "app.manifest").write_bytes(manifest)
    exe, _ = build_named(tovex, write_project, stub, MAIN + '[resources]\nmanifest = "app.manifest"\n')
    report = tovex.inspect_json(exe)
    assert [(r["typeName"], r["name"], r["size"]) for r in report["resources"]] == [("RT_MANIFEST", 1, len(manifest))]
    assert report["application"]["manifestSize"] == len(manifest)
    assert f"Manifest    RT_MANIFEST 1, {len(manifest)} bytes" in tovex.run("inspect", exe).stdout


def test_inspect_shows_the_named_settings_in_words(tovex, write_project, stub):
    exe, _ = build_named(tovex, write_project, stub,
                         MAIN + 'console = true\nclassPath = ["lib/app.jar", "lib/*", "classes/", "env:CP",'
                                ' {path = "x.jar", required = false}]\n'
                                '[runtime]\nsearch = ["registry", "env:JAVA_HOME", "path", "dir:C:\\\\jdk"]\n')
    application = tovex.inspect_json(exe)["application"]
    assert application["program"] == "console" and application["subsystem"] == 3
    assert application["search"] == ["registry", "env:JAVA_HOME", "path", "dir:C:\\jdk"]
    assert application["searchCode"] == "Y;EJAVA_HOME;S;AC:\\jdk;"
    assert application["classPath"] == ["lib/app.jar", "lib/*", "classes/", "env:CP", "x.jar (optional)"]
    assert application["signature"] is None
    text = tovex.run("inspect", exe).stdout
    assert "Search      registry, env:JAVA_HOME, path, dir:C:\\jdk  (code \"Y;EJAVA_HOME;S;AC:\\\\jdk;\")" in text
    assert "Program     console type, errors on standard error (executable type \"0\", console subsystem)" in text


def test_new_writes_a_starter_project_that_builds_once_its_jar_exists(tovex, stub, tmp_path):
    result = tovex.run("new", "Hello", cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert sorted(p.name for p in tmp_path.iterdir()) == ["Hello.toml", "launcher.exe"]
    make_jar(tmp_path / "target" / "Hello.jar")
    built = tovex.build(tmp_path / "Hello.toml", stub=stub, plain=False)
    assert built.returncode == 0, built.stderr
    assert narrow_records(tmp_path / "Hello.exe")[122] == "com.example.Main"

    again = tovex.run("new", "Hello", cwd=tmp_path)
    assert again.returncode == 1 and "Hello.toml already exists" in again.stderr


def jar_with(path, entries, manifest="Manifest-Version: 1.0\r\n"):
    path.parent.mkdir(parents=True, exist_ok=True)
    with zipfile.ZipFile(path, "w") as jar:
        jar.writestr("META-INF/MANIFEST.MF", manifest + "\r\n")
        for entry in entries:
            jar.writestr(entry, b"\xca\xfe\xba\xbe")
    return path


@pytest.mark.parametrize("main_class, entries", [
    ("com.example.Main", ["com/example/Main.class"]),
    ("com.example.Outer$Main", ["com/example/Outer$Main.class"]),
    # A multi-release jar may hold the class for later Java versions only.
    ("com.example.Main", ["META-INF/versions/11/com/example/Main.class"]),
])
def test_a_main_class_found_in_an_included_jar_builds_without_a_word(tovex, write_project, stub, tmp_path,
                                                                     main_class, entries):
    jar_with(tmp_path / "lib" / "other.jar", ["org/lib/Helper.class"])
    jar_with(tmp_path / "lib" / "app.jar", entries)
    _, result = build_named(tovex, write_project, stub, f'mainClass = "{main_class}"\n[[files]]\npath = '
                                                        '"lib/other.jar"\n[[files]]\npath = "lib/app.jar"\n')
    assert result.stderr == ""


def test_a_main_class_in_no_jar_is_a_warning_when_the_class_path_reaches_beside_the_executable(
        tovex, write_project, stub, tmp_path):
    jar_with(tmp_path / "lib" / "app.jar", ["org/lib/Helper.class"])
    project = write_project(MAIN + 'classPath = ["lib/*", "classes/"]\n[[files]]\npath = "lib/app.jar"\n')
    result = tovex.build(project, stub=stub, plain=False)
    assert result.returncode == 0, result.stderr
    assert (f"{project}:1:13: warning: 'mainClass': the main class com.example.Main is in none of the included jars "
            "(lib/app.jar); it must then come from the class path beside the executable (lib/*, classes/), or the "
            "start fails with ClassNotFoundException") in result.stderr


def test_a_project_without_jars_of_its_own_is_not_checked_against_the_runtime_library(tovex, write_project, stub):
    """The Java runtime library the tool adds is not the application: the main class may come from elsewhere."""
    if not (tovex.binary.parent / "tovexlib.jar").exists():
        pytest.skip("dist/tovexlib.jar is built by `make`")
    project = write_project(MAIN)
    result = tovex.build(project, stub=stub, plain=False, runtime_library=True)
    assert result.returncode == 0, result.stderr
    assert result.stderr == ""


@pytest.mark.parametrize("class_path, included, missing", [
    ("lib/dep.jar", [], ["lib/dep.jar"]),
    ("dep.jar other.jar", ["dep.jar"], ["other.jar"]),
    # Whatever folder the manifest names, an included file of that name is on the class path.
    ("lib/dep.jar", ["dep.jar"], []),
    ("a.jar  b.jar", ["A.JAR", "b.jar"], []),
    # Entries are URLs: %20 is a blank.
    ("lib/my%20dep.jar", ["my dep.jar"], []),
])
def test_a_manifest_class_path_entry_the_project_does_not_include_is_a_warning(tovex, write_project, stub, tmp_path,
                                                                              class_path, included, missing):
    jar_with(tmp_path / "app.jar", ["com/example/Main.class"],
             f"Manifest-Version: 1.0\r\nMain-Class: com.example.Main\r\nClass-Path: {class_path}\r\n")
    text = '[[files]]\npath = "app.jar"\n'
    for name in included:
        jar_with(tmp_path / "deps" / name, ["org/lib/Helper.class"])
        text += f'[[files]]\npath = "deps/{name}"\n'
    project = write_project(text)
    result = tovex.build(project, stub=stub, plain=False)
    assert result.returncode == 0, result.stderr
    warnings = [line for line in result.stderr.splitlines() if ": warning: " in line]
    assert warnings == [f"{project}:2:8: warning: the manifest of app.jar names '{entry}' in its Class-Path, which "
                        "the project does not include; the application will miss its classes at run time: include "
                        f"it with [[files]] path = \"...\" (the included file must be named '{entry.split('/')[-1]}'),"
                        " or remove it from the manifest" for entry in missing]


ASSEMBLY = '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">'
# (id, manifest text, "line, column" in the manifest or None, message)
BAD_MANIFESTS = [
    ("no-assembly", "<other/>", "1, 1", "the root element is <other>; an application manifest is an <assembly"),
    ("assembly-prefix-only", '<assemblyfoo xmlns="urn:schemas-microsoft-com:asm.v1"/>', "1, 1",
     "the root element is <assemblyfoo>"),
    ("no-namespace", '<?xml version="1.0"?>\n<assembly manifestVersion="1.0"/>', "2, 1",
     "<assembly> is in no namespace; an application manifest's is urn:schemas-microsoft-com:asm.v1: add "
     'xmlns="urn:schemas-microsoft-com:asm.v1"'),
    ("other-namespace", '<a:assembly xmlns:a="urn:other"/>', "1, 1", "<a:assembly> is in the namespace 'urn:other'"),
    ("unclosed", ASSEMBLY + "\n  <trustInfo>\n</assembly>\n", "3, 1",
     "</assembly> does not match <trustInfo> (opened at line 2)"),
    ("cut-off", ASSEMBLY + "\n  <trustInfo>", "2, 14", "the file ends inside <trustInfo> (opened at line 2)"),
    ("dtd-entities", '<?xml version="1.0"?>\n<!DOCTYPE assembly [<!ENTITY big "xxxxxxxx">]>\n' + ASSEMBLY +
     "&big;</assembly>", "2, 1", "a document type declaration (<!DOCTYPE>) is not allowed"),
    ("undefined-entity", ASSEMBLY + "\n<description>&nbsp;</description></assembly>", "2, 14",
     "undefined entity &nbsp;"),
    ("bare-ampersand", ASSEMBLY + "<description>A & B</description></assembly>", "1, 89", "'&' must start a reference"),
    ("attribute-twice", '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" a="1" a="2"/>', "1, 58",
     "attribute a is given twice in <assembly>"),
    ("unquoted-attribute", "<assembly xmlns=urn:schemas-microsoft-com:asm.v1/>", "1, 17",
     "an attribute value must be in quotes"),
    ("undeclared-prefix", ASSEMBLY + "<asmv3:application/></assembly>", "1, 74",
     "the prefix 'asmv3' of <asmv3:application> is not declared"),
    ("second-root", ASSEMBLY + "</assembly>\n<assembly/>", "2, 1", "a second root element"),
    ("declaration-not-first", '\n<?xml version="1.0"?>' + ASSEMBLY + "</assembly>", "2, 1",
     "the XML declaration <?xml ...?> may only stand at the very start of the file"),
    ("double-dash-in-comment", ASSEMBLY + "<!-- a -- b --></assembly>", "1, 81", "'--' inside a comment"),
    ("control-character", ASSEMBLY + "\x01</assembly>", "1, 74", "character U+0001 is not allowed in XML"),
    ("empty", "", "1, 1", "no root element"),
    ("too-large", ASSEMBLY + "<!--" + "x" * (1 << 20) + "--></assembly>", None,
     "1048667 bytes is too large for an application manifest (at most 1048576)"),
]


@pytest.mark.parametrize("text, where, message", [case[1:] for case in BAD_MANIFESTS],
                         ids=[case[0] for case in BAD_MANIFESTS])
def test_a_manifest_must_be_well_formed_xml_with_an_assembly_root(tovex, write_project, stub, tmp_path, text, where,
                                                                 message):
    (tmp_path / "app.manifest").write_text(text, encoding="utf-8")
    project = write_project(MAIN + '[resources]\nmanifest = "app.manifest"\n')
    result = tovex.build(project, stub=stub, plain=False)
    assert result.returncode == 1
    located = f" line {where.split(', ')[0]}, column {where.split(', ')[1]}" if where else ""
    assert (f"{project}:3:12: error: [resources] manifest: app.manifest{located}: not an application manifest: "
            f"{message}") in result.stderr
    assert "Windows refuses to start a program whose manifest it cannot read" in result.stderr
    assert not project.with_suffix(".exe").exists()


@pytest.mark.parametrize("encoding, text", [
    ("utf-8", '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<!-- the usual one -->\n' + ASSEMBLY + """
  <assemblyIdentity type="win32" name="Example.App" version="1.0.0.0" processorArchitecture="*"/>
  <asmv3:application xmlns:asmv3="urn:schemas-microsoft-com:asm.v3">
    <asmv3:windowsSettings xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">
      <dpiAware>true</dpiAware>
    </asmv3:windowsSettings>
  </asmv3:application>
  <description>Caf\u00e9 &amp; more &#169; &#xA9;<![CDATA[ <raw> & ]]></description>
</assembly>
"""),
    ("utf-8-sig", ASSEMBLY + "</assembly>"),
    ("utf-16", '<?xml version="1.0" encoding="UTF-16"?>' + ASSEMBLY + "</assembly>"),
])
def test_a_well_formed_manifest_is_taken(tovex, write_project, stub, tmp_path, encoding, text):
    (tmp_path / "app.manifest").write_bytes(text.encode(encoding))
    build_named(tovex, write_project, stub, MAIN + '[resources]\nmanifest = "app.manifest"\n')


@pytest.mark.parametrize("name, message", [
    (b"Hello\xe2\x80\xaeTxt", "character 6 (U+202E) has no form in code page 1252, in which the executable stores "
                               "the application's name and its jar's; choose a name of letters, digits, '-' and '_'"),
    (b"Hello\xff", "it is not valid UTF-8 text (the project file is UTF-8); give the name in UTF-8"),
    (b"\xe4\xb8\xad", "character 1 (U+4E2D) has no form in code page 1252"),
])
def test_new_refuses_a_name_the_project_could_not_hold(tovex, tmp_path, name, message):
    result = subprocess.run([str(tovex.binary), "new", name], cwd=tmp_path, capture_output=True)
    assert result.returncode == 1
    assert message in result.stderr.decode("utf-8")
    assert result.stderr.decode("utf-8").startswith("tovex: error: cannot name a project file '")
    assert list(tmp_path.iterdir()) == []
