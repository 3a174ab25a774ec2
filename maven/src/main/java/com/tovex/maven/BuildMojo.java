package com.tovex.maven;

import java.io.BufferedReader;
import java.io.File;
import java.io.IOException;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.Enumeration;
import java.util.List;
import java.util.Map;
import java.util.jar.JarEntry;
import java.util.jar.JarFile;
import java.util.jar.Manifest;
import java.util.regex.Pattern;

import org.apache.maven.artifact.Artifact;
import org.apache.maven.model.Plugin;
import org.apache.maven.model.PluginExecution;
import org.apache.maven.plugin.MojoExecution;
import org.apache.maven.plugin.AbstractMojo;
import org.apache.maven.plugin.MojoExecutionException;
import org.apache.maven.plugin.MojoFailureException;
import org.apache.maven.plugins.annotations.Component;
import org.apache.maven.plugins.annotations.LifecyclePhase;
import org.apache.maven.plugins.annotations.Mojo;
import org.apache.maven.plugins.annotations.Parameter;
import org.apache.maven.plugins.annotations.ResolutionScope;
import org.apache.maven.project.MavenProject;
import org.apache.maven.project.MavenProjectHelper;
import org.codehaus.plexus.util.xml.Xpp3Dom;

/**
 * Makes the application's Windows executable: writes a tovex project file
 * into the build directory from this configuration, the project's jar and its
 * runtime dependencies, runs the tovex tool on it and attaches the executable
 * to the project (type {@code exe}), so that install and deploy carry it.
 */
@Mojo(name = "build", defaultPhase = LifecyclePhase.PACKAGE, requiresDependencyResolution = ResolutionScope.RUNTIME,
      threadSafe = true)
public class BuildMojo extends AbstractMojo {
    /** The tovex tool; when not set, the first {@code tovex} on PATH. */
    @Parameter(property = "tovex.executable")
    private File tovexExecutable;

    /** The application's main class; default: the jar manifest's Main-Class. */
    @Parameter
    private String mainClass;

    @Parameter
    private String applicationName;

    /** A GUI application (no console window): true or false. */
    @Parameter
    private String gui;

    /** A console application: true or false. */
    @Parameter
    private String console;

    /** true or false. */
    @Parameter
    private String singleInstance;

    /** Class path entries as the application sees them at run time (lib/x.jar, lib/*.jar, classes/, env:NAME). */
    @Parameter
    private List<ClassPathEntry> classPath;

    @Parameter
    private RuntimeSettings runtime;

    /** x86 or x64. */
    @Parameter
    private String architecture;

    @Parameter(defaultValue = "${project.build.directory}/${project.build.finalName}.exe", required = true)
    private File output;

    /** The generated project file, kept for the user to see and reuse. */
    @Parameter(defaultValue = "${project.build.directory}/tovex.toml", required = true)
    private File projectFile;

    /** The splash screen's picture, BMP or PNG. */
    @Parameter
    private File splashPicture;

    @Parameter
    private File icon;

    @Parameter
    private VersionInfo versionInfo;

    /** Message texts by their names: {@code <msgNoJvm>...</msgNoJvm>}, {@code <msgErrorCaption>...}. */
    @Parameter
    private Map<String, String> messages;

    /**
     * Any other setting of the project file by its name, the value written
     * as TOML: {@code <jvmSearchSequence>"EJAVA_HOME;"</jvmSearchSequence>},
     * {@code <splashWidth>480</splashWidth>}, {@code <showSplash>true</showSplash>}.
     */
    @Parameter
    private Map<String, String> settings;

    /** true leaves the goal out. */
    @Parameter(property = "tovex.skip", defaultValue = "false")
    private String skip;

    @Parameter(defaultValue = "${project}", readonly = true, required = true)
    private MavenProject project;

    @Parameter(defaultValue = "${mojoExecution}", readonly = true, required = true)
    private MojoExecution mojoExecution;

    @Component
    private MavenProjectHelper projectHelper;

    @Override
    public void execute() throws MojoExecutionException, MojoFailureException {
        if (PomConfiguration.parseBoolean(skip, "<skip> (-Dtovex.skip)")) {
            getLog().info("tovex: skipped");
            return;
        }
        checkConfiguration();
        File jar = project.getArtifact().getFile();
        if (jar == null || !jar.isFile()) {
            throw new MojoFailureException("tovex: the project has no jar to include (packaging '"
                + project.getPackaging() + "'); the build goal runs after the jar is made, in the package phase");
        }
        requireClasses(jar);
        File tool = findTool();
        ProjectFile generated = generate(jar);
        String path = projectFile.getAbsolutePath();
        try {
            Files.createDirectories(projectFile.getAbsoluteFile().toPath().getParent());
            Files.write(projectFile.toPath(), generated.text().getBytes(StandardCharsets.UTF_8));
        } catch (IOException e) {
            throw new MojoExecutionException("tovex: cannot write " + path + ": " + e.getMessage(), e);
        }
        getLog().info("tovex: wrote the project file " + path);
        runTool(tool, path, generated);
        projectHelper.attachArtifact(project, "exe", null, output);
    }

    /** The configuration as the POM writes it: Maven itself drops unknown elements and misreads values. */
    private void checkConfiguration() throws MojoFailureException {
        List<String> parameters = new ArrayList<>();
        for (org.apache.maven.plugin.descriptor.Parameter parameter : mojoExecution.getMojoDescriptor().getParameters()) {
            parameters.add(parameter.getName());
            if (parameter.getAlias() != null) {
                parameters.add(parameter.getAlias());
            }
        }
        List<Xpp3Dom> configurations = new ArrayList<>();
        Plugin plugin = project.getPlugin(mojoExecution.getMojoDescriptor().getPluginDescriptor().getPluginLookupKey());
        if (plugin != null) {
            configurations.add((Xpp3Dom) plugin.getConfiguration());
            PluginExecution execution = plugin.getExecutionsAsMap().get(mojoExecution.getExecutionId());
            if (execution != null) {
                configurations.add((Xpp3Dom) execution.getConfiguration());
            }
        }
        PomConfiguration.check(configurations, parameters);
        // Values that came through expressions (${...}) are checked as Maven filled them in.
        PomConfiguration.parseBoolean(gui, "<gui>");
        PomConfiguration.parseBoolean(console, "<console>");
        PomConfiguration.parseBoolean(singleInstance, "<singleInstance>");
    }

    /** A jar without a class would build an executable that can only fail, e.g. when the sources were not found. */
    private void requireClasses(File jar) throws MojoFailureException {
        try (JarFile archive = new JarFile(jar)) {
            for (Enumeration<JarEntry> entries = archive.entries(); entries.hasMoreElements(); ) {
                if (entries.nextElement().getName().endsWith(".class")) {
                    return;
                }
            }
        } catch (IOException e) {
            throw new MojoFailureException("tovex: cannot read " + jar + ": " + e.getMessage(), e);
        }
        throw new MojoFailureException("tovex: " + jar + " holds no class, so the executable would have nothing to "
            + "start; put the application's sources where the project compiles them from (src/main/java, or the "
            + "POM's <sourceDirectory>)");
    }

    private File findTool() throws MojoFailureException {
        if (tovexExecutable != null) {
            if (!tovexExecutable.isFile() || !tovexExecutable.canExecute()) {
                throw new MojoFailureException("tovex: the tovex tool " + tovexExecutable
                    + " (from the POM: <tovexExecutable> or -Dtovex.executable) does not exist or cannot be run");
            }
            return tovexExecutable;
        }
        String searchPath = System.getenv("PATH");
        if (searchPath != null) {
            for (String directory : searchPath.split(File.pathSeparator)) {
                File candidate = new File(directory.isEmpty() ? "." : directory, "tovex");
                if (candidate.isFile() && candidate.canExecute()) {
                    return candidate;
                }
            }
        }
        throw new MojoFailureException("tovex: the tovex tool was not found on PATH; install it or name it with "
            + "<tovexExecutable> in the plugin's configuration (or -Dtovex.executable=...)");
    }

    private ProjectFile generate(File jar) throws MojoFailureException {
        ProjectFile file = new ProjectFile();
        file.comment("Written by tovex-maven-plugin from " + project.getFile() + "; made anew by every build.");
        if (applicationName != null) {
            file.string("applicationName", applicationName, "<applicationName>");
        }
        if (mainClass != null) {
            file.string("mainClass", mainClass, "<mainClass>");
        } else {
            file.string("mainClass", manifestMainClass(jar), "<mainClass> (default: Main-Class of " + jar.getName() + ")");
        }
        if (gui != null) {
            file.bool("gui", PomConfiguration.parseBoolean(gui, "<gui>"), "<gui>");
        }
        if (console != null) {
            file.bool("console", PomConfiguration.parseBoolean(console, "<console>"), "<console>");
        }
        if (singleInstance != null) {
            file.bool("singleInstance", PomConfiguration.parseBoolean(singleInstance, "<singleInstance>"),
                      "<singleInstance>");
        }
        if (classPath != null && !classPath.isEmpty()) {
            file.list("classPath", classPathItems(), "<classPath>");
        }
        if (messages != null) {
            for (Map.Entry<String, String> message : messages.entrySet()) {
                file.string(message.getKey(), message.getValue(), "<messages><" + message.getKey() + ">");
            }
        }
        writeSettings(file);
        writeRuntime(file);
        file.table("build", null);
        if (architecture != null) {
            file.string("architecture", architecture, "<architecture>");
        }
        file.string("output", output.getAbsolutePath(), "<output>");
        writeResources(file);
        writeFiles(file, jar);
        return file;
    }

    private List<String> classPathItems() throws MojoFailureException {
        List<String> items = new ArrayList<>();
        for (ClassPathEntry entry : classPath) {
            if (entry == null || entry.path == null || entry.path.isEmpty()) {
                throw new MojoFailureException("tovex: an entry of <classPath> has no path");
            }
            String quoted = ProjectFile.quote(entry.path);
            items.add(entry.required ? quoted : "{path = " + quoted + ", required = false}");
        }
        return items;
    }

    private void writeSettings(ProjectFile file) throws MojoFailureException {
        if (settings == null) {
            return;
        }
        for (Map.Entry<String, String> setting : settings.entrySet()) {
            String element = "<settings><" + setting.getKey() + ">";
            String value = setting.getValue() == null ? "" : setting.getValue().trim();
            if (value.isEmpty() || value.indexOf('\n') >= 0 || value.indexOf('\r') >= 0) {
                throw new MojoFailureException("tovex: " + element + " needs a TOML value on one line, such as "
                    + "\"text\" (\\n for a line break), 42 or true");
            }
            file.value(setting.getKey(), value, element);
        }
    }

    private void writeRuntime(ProjectFile file) throws MojoFailureException {
        if (runtime == null) {
            return;
        }
        file.table("runtime", "<runtime>");
        if (runtime.search != null) {
            List<String> places = new ArrayList<>();
            for (String place : runtime.search) {
                if (place == null || place.trim().isEmpty()) {
                    throw new MojoFailureException("tovex: a place of <runtime><search> is empty; write each as "
                        + "<place>registry</place> (places: " + String.join(", ", PomConfiguration.SEARCH_WORDS) + ")");
                }
                places.add(ProjectFile.quote(place));
            }
            file.list("search", places, "<runtime><search>");
        }
        if (runtime.bundled != null) {
            file.string("bundled", runtime.bundled, "<runtime><bundled>");
        }
        if (runtime.minVersion != null) {
            file.string("minVersion", runtime.minVersion, "<runtime><minVersion>");
        }
        if (runtime.maxVersion != null) {
            file.string("maxVersion", runtime.maxVersion, "<runtime><maxVersion>");
        }
    }

    private void writeResources(ProjectFile file) throws MojoFailureException {
        if (splashPicture != null || icon != null) {
            file.table("resources", null);
            if (splashPicture != null) {
                file.string("splashPicture", splashPicture.getAbsolutePath(), "<splashPicture>");
            }
            if (icon != null) {
                file.string("icon", icon.getAbsolutePath(), "<icon>");
            }
        }
        VersionInfo given = versionInfo != null ? versionInfo : new VersionInfo();
        String projectVersion = project.getVersion();
        String numeric = WindowsVersion.numeric(projectVersion);
        String fromVersion = " (default: the project's <version> " + projectVersion + ")";
        if (given.fileVersion == null && numeric == null) {
            throw new MojoFailureException("tovex: the project's version '" + projectVersion + "' is not a Windows "
                + "version (up to four numbers of 0 to 65535 first); set <versionInfo><fileVersion>");
        }
        file.table("resources.version", "<versionInfo>");
        optional(file, "fileVersion", given.fileVersion, numeric, "<versionInfo><fileVersion>", fromVersion);
        optional(file, "productVersion", given.productVersion, given.fileVersion == null ? numeric : null,
                 "<versionInfo><productVersion>", fromVersion);
        optional(file, "productVersionText", given.productVersionText,
                 WindowsVersion.hasQualifier(projectVersion) ? projectVersion : null,
                 "<versionInfo><productVersionText>", fromVersion);
        String name = project.getName() != null ? project.getName() : project.getArtifactId();
        optional(file, "productName", given.productName, name, "<versionInfo><productName>",
                 " (default: the project's <name>)");
        optional(file, "companyName", given.companyName, null, "<versionInfo><companyName>", "");
        optional(file, "fileDescription", given.fileDescription, null, "<versionInfo><fileDescription>", "");
        optional(file, "copyright", given.copyright, null, "<versionInfo><copyright>", "");
    }

    /** Writes the given value, else the derived one (when there is one), each with its origin. */
    private static void optional(ProjectFile file, String key, String given, String derived, String element,
                                 String derivation) {
        if (given != null) {
            file.string(key, given, element);
        } else if (derived != null) {
            file.string(key, derived, element + derivation);
        }
    }

    /** The project's jar, then its runtime dependencies in the order Maven resolved them. */
    private void writeFiles(ProjectFile file, File jar) {
        file.arrayTable("files", "the project's jar");
        file.string("path", jar.getAbsolutePath(), "the project's jar");
        for (Artifact dependency : project.getArtifacts()) {
            String scope = dependency.getScope();
            boolean runtimeScope = Artifact.SCOPE_COMPILE.equals(scope) || Artifact.SCOPE_RUNTIME.equals(scope);
            if (!runtimeScope || dependency.getFile() == null || !dependency.getArtifactHandler().isAddedToClasspath()) {
                continue;
            }
            String origin = "<dependency> " + dependency.getId();
            file.arrayTable("files", origin);
            file.string("path", dependency.getFile().getAbsolutePath(), origin);
        }
    }

    private static String manifestMainClass(File jar) throws MojoFailureException {
        try (JarFile archive = new JarFile(jar)) {
            Manifest manifest = archive.getManifest();
            String name = manifest == null ? null : manifest.getMainAttributes().getValue("Main-Class");
            if (name != null && !name.trim().isEmpty()) {
                return name.trim();
            }
        } catch (IOException e) {
            throw new MojoFailureException("tovex: cannot read " + jar + ": " + e.getMessage(), e);
        }
        throw new MojoFailureException("tovex: no main class: set <mainClass>, or Main-Class in the manifest of "
            + jar.getName() + " (maven-jar-plugin's <archive><manifest><mainClass>)");
    }

    private void runTool(File tool, String path, ProjectFile generated) throws MojoFailureException {
        List<String> lines = new ArrayList<>();
        int exit;
        try {
            Process process = new ProcessBuilder(tool.getPath(), "build", path).redirectErrorStream(true).start();
            process.getOutputStream().close();
            try (BufferedReader reader = new BufferedReader(
                    new InputStreamReader(process.getInputStream(), StandardCharsets.UTF_8))) {
                for (String line; (line = reader.readLine()) != null; ) {
                    lines.add(ToolMessages.annotate(line, path, generated));
                }
            }
            exit = process.waitFor();
        } catch (IOException e) {
            throw new MojoFailureException("tovex: cannot run the tovex tool " + tool + ": " + e.getMessage(), e);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            throw new MojoFailureException("tovex: interrupted while the tovex tool ran", e);
        }
        if (exit != 0) {
            throw new MojoFailureException("tovex: the tovex tool could not build " + this.output.getPath()
                + "\n" + String.join("\n", lines));
        }
        for (String line : lines) {
            if (ToolMessages.isWarning(line)) {
                getLog().warn(line);
            } else {
                getLog().info(line);
            }
        }
    }
}
