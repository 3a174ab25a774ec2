"""tovex-maven-plugin: `mvn -o install` on the example Maven project
(examples/hello-maven) makes a Windows executable that carries the main class,
the application's jar, its dependency and the POM's version, that Maven
installs beside the jar, and that starts the application under Wine; broken
configurations fail the Maven build with a message that names the problem and
the POM element it came from. Maven runs offline on the repository `make`
fills (build/m2)."""
import json
import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
from conftest import REPO, TOVEX, App, run_logged  # noqa: E402
from conftest import rt, temp_logs, wine_c_drive, wine_env, wine_temp_dir  # noqa: E402,F401  (fixtures)
from runtimes import make_jre, require_standins  # noqa: E402
from test_launch import Calls  # noqa: E402
from test_resources import probe  # noqa: E402
from test_start_up import stderr_text  # noqa: E402

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
    """The example built in a copy of examples/ (its POM takes the sources from
    ../hello): the target directory."""
    if shutil.which("mvn") is None or not PLUGIN.exists() or not TOVEX.exists():
        pytest.skip("Maven, build/m2 with tovex-maven-plugin and dist/tovex are made by `make`")
    examples = tmp_path_factory.mktemp("maven") / "examples"
    shutil.copytree(EXAMPLES / "hello-maven", examples / "hello-maven", ignore=shutil.ignore_patterns("target"))
    shutil.copytree(EXAMPLES / "hello" / "src", examples / "hello" / "src")
    shutil.copy(EXAMPLES / "hello" / "hello.ico", examples / "hello")
    INSTALLED_EXE.unlink(missing_ok=True)
    result = mvn(examples / "hello-maven", f"-Dtovex.executable={TOVEX}", "install")
    assert result.returncode == 0, result.stdout + result.stderr
    return examples / "hello-maven" / "target"


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


def test_the_executable_starts_the_application_under_wine(example, rt, wine_env, temp_logs):
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


# ---- broken configurations

MINIMAL_POM = """<project>
  <modelVersion>4.0.0</modelVersion>
  <groupId>com.example</groupId>
  <artifactId>broken</artifactId>
  <version>1.0</version>
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
          %s
        </configuration>
      </plugin>
    </plugins>
  </build>
</project>
"""
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
]


@pytest.mark.parametrize("configuration, path, expected", [case[1:] for case in BROKEN],
                         ids=[case[0] for case in BROKEN])
def test_a_broken_configuration_fails_the_build_naming_the_problem(tmp_path, configuration, path, expected):
    if shutil.which("mvn") is None or not PLUGIN.exists() or not TOVEX.exists():
        pytest.skip("Maven, build/m2 with tovex-maven-plugin and dist/tovex are made by `make`")
    if "<runtime>" in configuration and not builder_knows_runtime_table(tmp_path):
        pytest.skip("this tovex does not know the [runtime] table yet")
    (tmp_path / "pom.xml").write_text(MINIMAL_POM % configuration)
    result = mvn(tmp_path, "package", path=path)
    assert result.returncode != 0
    assert "BUILD FAILURE" in result.stdout
    [failure] = [line for line in result.stdout.splitlines()
                 if line.startswith("[ERROR] Failed to execute goal com.tovex:tovex-maven-plugin")]
    message = result.stdout[result.stdout.index(failure):]
    for text in expected:
        assert text in message, message
