"""tovex-maven-plugin: `mvn -o install` on the example Maven project
(examples/hello-maven) makes a Windows executable that carries the main class,
the application's jar, its dependency and the POM's version, that Maven
installs beside the jar, and that starts the application under Wine; a POM
with every setting gives the project file it should; broken configurations fail the Maven build with a message that names the problem and
the POM element it came from. Maven runs offline on the repository `make`
fills (build/m2)."""
import json
import os
import shutil
import subprocess
import sys
import tomllib
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
from conftest import rt, temp_logs, wine_c_drive, wine_env, wine_temp_dir  # noqa: E402,F401  (fixtures)
from harness import REPO, TOVEX, App, Calls, probe, run_logged, stderr_text  # noqa: E402
from runtimes import make_jre, require_standins, use_architecture  # noqa: E402

M2 = REPO / "build" / "m2"
SETTINGS = M2 / "settings.xml"
PLUGIN = M2 / "repository" / "com" / "tovex" / "tovex-maven-plugin"
INSTALLED_EXE = M2 / "repository" / "com" / "example" / "hello" / "1.0.0" / "hello-1.0.0.exe"
EXAMPLES = REPO / "examples"


def mvn(project_dir, *args, path=None):
    """Runs Maven offline on build/m2; path replaces PATH (for looking up the tool)."""
    env = dict(os.environ)
    if path is not None:
        env["PATH"] = path
    return subprocess.run(["mvn", "-B", "-o", "-s", str(SETTINGS), "-Daether.offline.protocols=file",
                           "-Dstyle.color=never", *args],
                          cwd=project_dir, env=env, capture_output=True, text=True, timeout=600)


@pytest.fixture(scope="session")
def example(tmp_path_factory):
    """The example built in a copy of examples/hello-maven alone, as users copy
    examples: the target directory."""
    require_plugin()
    copy = tmp_path_factory.mktemp("maven") / "hello-maven"
    shutil.copytree(EXAMPLES / "hello-maven", copy, ignore=shutil.ignore_patterns("target"))
    INSTALLED_EXE.unlink(missing_ok=True)
    result = mvn(copy, f"-Dtovex.executable={TOVEX}", "install")
    assert result.returncode == 0, result.stdout + result.stderr
    return copy / "target"


def test_the_executable_carries_the_main_class_the_jars_and_the_pom_version(example, wine_env):
    exe = example / "hello-1.0.0.exe"
    inspected = subprocess.run([str(TOVEX), "inspect", "--json", str(exe)], capture_output=True, text=True)
    assert inspected.returncode == 0, inspected.stderr
    report = json.loads(inspected.stdout)
    settings = {record["name"]: record["value"] for record in report["narrow"] if record["name"]}
    assert settings["mainClass"] == "com.example.hello.Hello"  # from the jar's manifest
    assert settings["applicationName"] == "Hello"
    assert settings["msgErrorCaption"] == "Hello"
    # The runtime library first (tovex adds it), then the jar and its dependency.
    assert [file["name"] for file in report["includedFiles"]] == \
        ["tovexlib.jar", "hello-1.0.0.jar", "commons-lang3-3.12.0.jar"]

    lines = probe(App(exe, wine_env), exe)
    assert "fixed FileVersion 1.0.0.0 ProductVersion 1.0.0.0" in lines
    assert "string ProductName=Hello" in lines  # the POM's <name>
    assert "string CompanyName=The tovex project" in lines
    assert "icon ID_SPLASH_ICON 32x32" in lines

    # The project file stays for the user to see; install carries the executable.
    assert 'mainClass = "com.example.hello.Hello"' in (example / "tovex.toml").read_text()
    assert INSTALLED_EXE.read_bytes() == exe.read_bytes()


@pytest.fixture(scope="session")
def arch():
    """The example is built for the default architecture, x64."""
    return "x64"


def test_the_executable_starts_the_application_under_wine(example, arch, rt, wine_env, temp_logs):
    # Its runtime is of its own kind, as a launcher loads jvm.dll in-process.
    use_architecture(arch)
    require_standins()
    folder = rt / "Hello"
    folder.mkdir()
    exe = shutil.copy(example / "hello-1.0.0.exe", folder / "hello.exe")
    jre = make_jre(rt / "jre")
    result, log = run_logged(App(exe, wine_env), temp_logs, "one", env={"JAVA_HOME": jre.windows()})
    assert result.returncode == 0, stderr_text(result) + log
    calls = Calls(jre.jvm_calls())
    [class_path] = [option for option in calls.options() if option.startswith("-Djava.class.path=")]
    entries = [entry.rsplit("\\", 1)[-1] for entry in class_path.split("=", 1)[1].split(";") if entry]
    assert sorted(entries) == ["commons-lang3-3.12.0.jar", "hello-1.0.0.jar", "tovexlib.jar"]
    arguments = calls.starter_arguments()
    assert arguments[1] == "com.example.hello.Hello"
    assert arguments[6:] == ["one"]


# ---- the project file the plugin writes, and broken configurations

MINIMAL_POM = """<project>
  <modelVersion>4.0.0</modelVersion>
  <groupId>com.example</groupId>
  <artifactId>%(artifact)s</artifactId>
  <version>%(version)s</version>
  %(more)s
  <build>
    <pluginManagement>
      <plugins>
        <plugin><groupId>org.apache.maven.plugins</groupId><artifactId>maven-resources-plugin</artifactId><version>3.3.0</version></plugin>
        <plugin><groupId>org.apache.maven.plugins</groupId><artifactId>maven-compiler-plugin</artifactId><version>3.10.1</version></plugin>
        <plugin><groupId>org.apache.maven.plugins</groupId><artifactId>maven-surefire-plugin</artifactId><version>2.22.3</version></plugin>
        <plugin><groupId>org.apache.maven.plugins</groupId><artifactId>maven-jar-plugin</artifactId><version>3.3.0</version></plugin>
      </plugins>
    </pluginManagement>
    <plugins>
      <plugin>
        <groupId>com.tovex</groupId>
        <artifactId>tovex-maven-plugin</artifactId>
        <version>1.0.0</version>
        <executions><execution><goals><goal>build</goal></goals></execution></executions>
        <configuration>
          %(configuration)s
        </configuration>
      </plugin>
    </plugins>
  </build>
</project>
"""


def write_pom(directory, configuration, artifact="broken", version="1.0", more="", sources=True):
    """The POM, and with `sources` the class com.example.Main for the jar."""
    text = MINIMAL_POM % {"artifact": artifact, "version": version, "more": more, "configuration": configuration}
    (directory / "pom.xml").write_text(text, encoding="utf-8")
    if sources:
        source = directory / "src" / "main" / "java" / "com" / "example" / "Main.java"
        source.parent.mkdir(parents=True, exist_ok=True)
        source.write_text("package com.example;\npublic class Main { public static void main(String[] a) {} }\n")


def require_plugin():
    if shutil.which("mvn") is None or not PLUGIN.exists() or not TOVEX.exists():
        pytest.skip("Maven, build/m2 with tovex-maven-plugin and dist/tovex are made by `make`")


TOOL = f"<tovexExecutable>{TOVEX}</tovexExecutable>"
MAIN = "<mainClass>com.example.Main</mainClass>"


def builder_knows_runtime_table(tmp_path):
    project = tmp_path / "probe.toml"
    project.write_text('mainClass = "a.B"\n[runtime]\nsearch = ["registry"]\n')
    result = subprocess.run([str(TOVEX), "build", str(project), "--no-runtime-library"], capture_output=True)
    return result.returncode == 0


# (what is wrong, the plugin's configuration, PATH or None, what the failure must say)
BROKEN = [
    ("unknown search word", TOOL + MAIN + "<runtime><search><place>registry</place><place>nowhere</place></search>"
     "</runtime>", None, ["nowhere", "(from the POM: <runtime><search>)"]),
    ("missing tool", MAIN + "<tovexExecutable>/no/such/tovex</tovexExecutable>", None,
     ["/no/such/tovex", "<tovexExecutable>", "does not exist"]),
    ("tool not on PATH", MAIN, "/usr/bin:/bin", ["tovex tool was not found on PATH", "<tovexExecutable>"]),
    ("bad icon path", TOOL + MAIN + "<icon>art/no-such.ico</icon>", None,
     ["no-such.ico", "(from the POM: <icon>)"]),
    ("unknown message name", TOOL + MAIN + "<messages><msgNoJava>x</msgNoJava></messages>", None,
     ["msgNoJava", "(from the POM: <messages><msgNoJava>)"]),
    ("no main class", TOOL, None, ["no main class", "<mainClass>", "Main-Class"]),
    # The configuration as the POM writes it: Maven alone would drop unknown elements and read "yes" as false.
    ("search place as element name", TOOL + MAIN + "<runtime><search><registry/></search></runtime>", None,
     ["tovex: <runtime><search> holds <registry>; write each place as <place>registry</place> (places: bundled, "
      "env:NAME, registry, path, dir:FOLDER)"]),
    ("empty search place", TOOL + MAIN + "<runtime><search><place/></search></runtime>", None,
     ["tovex: <runtime><search><place> is empty; give it a value or leave it out"]),
    ("boolean not true or false", TOOL + MAIN + "<gui>yes</gui>", None, ["tovex: <gui> is 'yes'; write true or false"]),
    ("boolean of a class path entry", TOOL + MAIN + "<classPath><entry><path>x.jar</path><required>no</required>"
     "</entry></classPath>", None, ["tovex: <classPath><entry><required> is 'no'; write true or false"]),
    ("misspelt element", TOOL + MAIN + "<consol>true</consol>", None,
     ["tovex: unknown element <consol> in the plugin's configuration; the known ones are ", "<console>",
      "<versionInfo>"]),
    # Inside an element of several parts Maven itself refuses what it cannot place.
    ("misspelt element inside runtime", TOOL + MAIN + "<runtime><minVersoin>17</minVersoin></runtime>", None,
     ["minVersoin"]),
    ("empty element inside versionInfo", TOOL + MAIN + "<versionInfo><companyName/></versionInfo>", None,
     ["tovex: <versionInfo><companyName> is empty; give it a value or leave it out"]),
    ("class path entry of another name", TOOL + MAIN + "<classPath><path>lib/x.jar</path></classPath>", None,
     ["tovex: <classPath> holds <path>; write each entry as <entry>lib/*.jar</entry>"]),
    ("named setting and its raw code", TOOL + MAIN + "<runtime><search><place>registry</place></search></runtime>"
     "<settings><jvmSearchSequence>\"Y;\"</jvmSearchSequence></settings>", None,
     ["tovex: <settings><jvmSearchSequence> and <runtime><search> set the same setting; keep one of them"]),
    ("message given twice", TOOL + MAIN + "<messages><msgNoJvm>a</msgNoJvm></messages>"
     "<settings><msgNoJvm>\"b\"</msgNoJvm></settings>", None,
     ["tovex: <settings><msgNoJvm> and <messages><msgNoJvm> set the same setting"]),
]


@pytest.mark.parametrize("configuration, path, expected", [case[1:] for case in BROKEN],
                         ids=[case[0] for case in BROKEN])
def test_a_broken_configuration_fails_the_build_naming_the_problem(tmp_path, configuration, path, expected):
    require_plugin()
    if "<runtime>" in configuration and not builder_knows_runtime_table(tmp_path):
        pytest.skip("this tovex does not know the [runtime] table yet")
    write_pom(tmp_path, configuration)
    result = mvn(tmp_path, "package", path=path)
    assert_failure(result, expected)


def assert_failure(result, expected):
    assert result.returncode != 0
    assert "BUILD FAILURE" in result.stdout
    [failure] = [line for line in result.stdout.splitlines()
                 if line.startswith("[ERROR] Failed to execute goal com.tovex:tovex-maven-plugin")]
    message = result.stdout[result.stdout.index(failure):]
    for text in expected:
        assert text in message, message


FULL_CONFIGURATION = f"""
<tovexExecutable>${{project.basedir}}/record-tovex</tovexExecutable>
<applicationName>Full</applicationName>
<mainClass>com.example.Main</mainClass>
<gui>true</gui>
<singleInstance>true</singleInstance>
<classPath>
  <entry>lib/x.jar</entry><entry>lib/*.jar</entry><entry>classes/</entry><entry>env:EXTRA_CP</entry>
  <entry><path>p/x.jar</path><required>false</required></entry>
</classPath>
<messages><msgErrorCaption>Full "quoted"</msgErrorCaption></messages>
<settings><splashWidth>256</splashWidth></settings>
<runtime>
  <search>
    <place>bundled</place><place>env:JAVA_HOME</place><place>registry</place><place>path</place>
    <place>dir:C:\\Java\\jdk</place>
  </search>
  <bundled>jre</bundled><minVersion>11</minVersion><maxVersion>21</maxVersion>
</runtime>
<architecture>x86</architecture>
<splashPicture>{EXAMPLES / "hello" / "splash.bmp"}</splashPicture>
<icon>{EXAMPLES / "hello" / "hello.ico"}</icon>
<versionInfo>
  <companyName>Example Ltd</companyName><fileDescription>The full example</fileDescription>
  <copyright>\u00a9 2026 Example Ltd</copyright>
</versionInfo>
"""

FULL_PROJECT = """\
applicationName = "Full"
mainClass = "com.example.Main"
gui = true
singleInstance = true
classPath = ["lib/x.jar", "lib/*.jar", "classes/", "env:EXTRA_CP", {{path = "p/x.jar", required = false}}]
msgErrorCaption = "Full \\"quoted\\""
splashWidth = 256

[runtime]
search = ["bundled", "env:JAVA_HOME", "registry", "path", "dir:C:\\\\Java\\\\jdk"]
bundled = "jre"
minVersion = "11"
maxVersion = "21"

[build]
architecture = "x86"
output = "{target}/full-2.5-SNAPSHOT.exe"

[resources]
splashPicture = "{examples}/hello/splash.bmp"
icon = "{examples}/hello/hello.ico"

[resources.version]
fileVersion = "2.5.0.0"
productVersion = "2.5.0.0"
productVersionText = "2.5-SNAPSHOT"
productName = "Full App"
companyName = "Example Ltd"
fileDescription = "The full example"
copyright = "\u00a9 2026 Example Ltd"

[[files]]
path = "{target}/full-2.5-SNAPSHOT.jar"

[[files]]
path = "{repository}/org/apache/commons/commons-text/1.10.0/commons-text-1.10.0.jar"

[[files]]
path = "{repository}/org/apache/commons/commons-lang3/debian/commons-lang3-debian.jar"
"""


@pytest.fixture(scope="module")
def full_project(tmp_path_factory):
    """A project with every setting, built with a tool that only warns:
    (Maven's output, the target directory)."""
    require_plugin()
    directory = tmp_path_factory.mktemp("full")
    tool = directory / "record-tovex"
    tool.write_text('#!/bin/sh\necho "$2:4:1: warning: a warning about line 4"\n')
    tool.chmod(0o755)
    dependency = ("<name>Full App</name><dependencies><dependency><groupId>org.apache.commons</groupId>"
                  "<artifactId>commons-text</artifactId><version>1.10.0</version></dependency></dependencies>")
    write_pom(directory, FULL_CONFIGURATION, artifact="full", version="2.5-SNAPSHOT", more=dependency)
    result = mvn(directory, "package")
    assert result.returncode == 0, result.stdout
    return result.stdout, directory / "target"


def test_every_setting_of_the_pom_goes_into_the_project_file(full_project):
    """The named settings, the version from a SNAPSHOT, the product name from
    <name>, the jar and its runtime dependencies in class path order (a
    dependency's own dependency after it); a warning of the tool comes out as
    Maven's warning, naming the POM element."""
    output, target = full_project
    written = (target / "tovex.toml").read_text(encoding="utf-8").split("\n", 1)
    assert written[0].startswith("# Written by tovex-maven-plugin")
    assert written[1] == FULL_PROJECT.format(target=target, examples=EXAMPLES, repository=M2 / "repository")
    assert f"[WARNING] {target}/tovex.toml:4:1: warning: a warning about line 4 (from the POM: <gui>)" \
        in output.splitlines()


def test_the_project_file_of_every_setting_builds_with_tovex(full_project, tmp_path):
    _, target = full_project
    if not builder_knows_runtime_table(tmp_path):
        pytest.skip("this tovex does not know the [runtime] table yet")
    built = subprocess.run([str(TOVEX), "build", str(target / "tovex.toml")], capture_output=True, text=True)
    assert built.returncode == 0, built.stderr


def test_a_jar_without_a_class_fails_the_build(tmp_path):
    """Sources where Maven does not look give an empty jar, which no executable can start."""
    require_plugin()
    write_pom(tmp_path, TOOL + MAIN, artifact="empty", sources=False)
    assert_failure(mvn(tmp_path, "package"),
                   [f"tovex: {tmp_path}/target/empty-1.0.jar holds no class, so the executable would have nothing "
                    "to start; put the application's sources where the project compiles them from (src/main/java, "
                    "or the POM's <sourceDirectory>)"])
    assert not (tmp_path / "target" / "empty-1.0.exe").exists()


def test_no_text_of_the_pom_or_its_path_becomes_a_setting(tmp_path):
    """The project's folder name and every value reach the project file escaped, comments included."""
    require_plugin()
    directory = tmp_path / 'app\nvmParameters = "-javaagent:evil.jar"\n# '
    # Maven compiles nothing in such a folder, but copies resources: the class comes as one.
    resource = directory / "src" / "main" / "resources" / "com" / "example" / "Main.class"
    resource.parent.mkdir(parents=True)
    resource.write_bytes(b"\xca\xfe\xba\xbe")
    write_pom(directory, TOOL + MAIN + "<applicationName>A\nvmParameters = \"x\"</applicationName>"
                         "<messages><msgNoJvm>line\r\n[raw.narrow]</msgNoJvm></messages>", sources=False)
    result = mvn(directory, "package")
    assert result.returncode == 0, result.stdout
    text = (directory / "target" / "tovex.toml").read_text(encoding="utf-8")
    project = tomllib.loads(text)
    assert "vmParameters" not in project and "raw" not in project
    assert project["applicationName"] == 'A\nvmParameters = "x"'
    assert text.splitlines()[0].startswith("# Written by tovex-maven-plugin from ")
    report = json.loads(subprocess.run([str(TOVEX), "inspect", "--json", str(directory / "target" / "broken-1.0.exe")],
                                       capture_output=True, text=True, check=True).stdout)
    assert "vmParameters" not in {record["name"] for record in report["narrow"]}
