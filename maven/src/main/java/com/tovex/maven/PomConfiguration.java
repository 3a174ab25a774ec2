package com.tovex.maven;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collection;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.TreeSet;

import org.apache.maven.plugin.MojoFailureException;
import org.codehaus.plexus.util.xml.Xpp3Dom;

/**
 * The plugin's configuration as the POM writes it, checked before anything
 * is built: Maven ignores elements a plugin does not know and reads
 * {@code <gui>yes</gui>} as false, so a misspelt element or value would
 * silently build another program than the one asked for.
 */
final class PomConfiguration {
    /** The elements inside {@code <runtime>}. */
    static final List<String> RUNTIME_ELEMENTS = Arrays.asList("search", "bundled", "minVersion", "maxVersion");
    /** The one element inside {@code <runtime><search>}, once per place. */
    static final String PLACE = "place";
    static final List<String> SEARCH_WORDS = Arrays.asList("bundled", "env:NAME", "registry", "path", "dir:FOLDER");
    /** The one element inside {@code <classPath>}, once per entry, and its parts. */
    static final String ENTRY = "entry";
    static final List<String> ENTRY_ELEMENTS = Arrays.asList("path", "required");
    static final List<String> VERSION_INFO_ELEMENTS = Arrays.asList("fileVersion", "productVersion",
        "productVersionText", "productName", "companyName", "fileDescription", "copyright");
    /** Elements whose value is true or false. */
    static final List<String> BOOLEAN_ELEMENTS = Arrays.asList("gui", "console", "singleInstance", "skip");
    /** Elements that hold other elements rather than a value. */
    private static final List<String> CONTAINERS = Arrays.asList("runtime", "classPath", "versionInfo", "messages",
        "settings");

    /**
     * Settings of {@code <settings>} that the plugin writes from elements of
     * its own: given in both places the tool would see one key set twice.
     */
    static final Map<String, String> SETTINGS_WITH_ELEMENTS = new LinkedHashMap<>();

    static {
        SETTINGS_WITH_ELEMENTS.put("jvmSearchSequence", "<runtime><search>");
        SETTINGS_WITH_ELEMENTS.put("minJavaVersion", "<runtime><minVersion>");
        SETTINGS_WITH_ELEMENTS.put("maxJavaVersion", "<runtime><maxVersion>");
        SETTINGS_WITH_ELEMENTS.put("classPath", "<classPath>");
        SETTINGS_WITH_ELEMENTS.put("executableType", "<gui> or <console>");
        SETTINGS_WITH_ELEMENTS.put("gui", "<gui>");
        SETTINGS_WITH_ELEMENTS.put("console", "<console>");
        SETTINGS_WITH_ELEMENTS.put("mainClass", "<mainClass>");
        SETTINGS_WITH_ELEMENTS.put("applicationName", "<applicationName>");
        SETTINGS_WITH_ELEMENTS.put("singleInstance", "<singleInstance>");
    }

    /** Tables the plugin writes itself, which a setting of the same name would clash with. */
    static final List<String> TABLES = Arrays.asList("build", "runtime", "resources", "files");

    private PomConfiguration() {
    }

    /**
     * Checks the configurations the POM gives the goal (the plugin's and the
     * execution's): every element known, every true/false value true or false,
     * the lists made of their documented elements, no setting given twice.
     */
    static void check(Collection<Xpp3Dom> configurations, Collection<String> parameters) throws MojoFailureException {
        for (Xpp3Dom configuration : configurations) {
            if (configuration == null) {
                continue;
            }
            for (Xpp3Dom element : configuration.getChildren()) {
                checkTopLevel(element, parameters);
            }
        }
        checkSettingsAgainstElements(configurations);
    }

    /** true or false, with blanks around allowed; null stays null (the element is not given). */
    static Boolean parseBoolean(String value, String element) throws MojoFailureException {
        if (value == null) {
            return null;
        }
        switch (value.trim()) {
            case "true": return Boolean.TRUE;
            case "false": return Boolean.FALSE;
            default:
                throw new MojoFailureException("tovex: " + element + " is '" + value.trim()
                    + "'; write true or false");
        }
    }

    private static void checkTopLevel(Xpp3Dom element, Collection<String> parameters) throws MojoFailureException {
        String name = element.getName();
        String shown = "<" + name + ">";
        if (!parameters.contains(name)) {
            throw unknown(shown, "the plugin's configuration", publicParameters(parameters));
        }
        if (BOOLEAN_ELEMENTS.contains(name) && !isExpression(element.getValue())) {
            parseBoolean(valueOf(element, shown), shown);
        }
        switch (name) {
            case "runtime": checkRuntime(element); break;
            case "classPath": checkClassPath(element); break;
            case "versionInfo": checkChildren(element, shown, VERSION_INFO_ELEMENTS); break;
            case "messages":
                for (Xpp3Dom message : element.getChildren()) {
                    valueOf(message, shown + "<" + message.getName() + ">");
                }
                break;
            default:
                if (!CONTAINERS.contains(name)) {
                    valueOf(element, shown);
                }
        }
    }

    private static void checkRuntime(Xpp3Dom runtime) throws MojoFailureException {
        checkChildren(runtime, "<runtime>", RUNTIME_ELEMENTS, "search");
        Xpp3Dom search = runtime.getChild("search");
        if (search == null) {
            return;
        }
        if (search.getChildCount() == 0) {
            throw new MojoFailureException("tovex: <runtime><search> lists no place; write one <" + PLACE
                + "> per place, in the order to search, e.g. <search><place>env:JAVA_HOME</place><place>registry"
                + "</place></search> (places: " + String.join(", ", SEARCH_WORDS) + ")");
        }
        for (Xpp3Dom place : search.getChildren()) {
            if (!PLACE.equals(place.getName())) {
                String value = place.getValue() == null ? "" : place.getValue().trim();
                String example = value.isEmpty() ? place.getName() : value;
                throw new MojoFailureException("tovex: <runtime><search> holds <" + place.getName() + ">; write "
                    + "each place as <" + PLACE + ">" + example + "</" + PLACE + "> (places: "
                    + String.join(", ", SEARCH_WORDS) + ")");
            }
            valueOf(place, "<runtime><search><" + PLACE + ">");
        }
    }

    private static void checkClassPath(Xpp3Dom classPath) throws MojoFailureException {
        for (Xpp3Dom entry : classPath.getChildren()) {
            if (!ENTRY.equals(entry.getName())) {
                throw new MojoFailureException("tovex: <classPath> holds <" + entry.getName() + ">; write each "
                    + "entry as <" + ENTRY + ">lib/*.jar</" + ENTRY + ">, or <" + ENTRY + "><path>p/x.jar</path>"
                    + "<required>false</required></" + ENTRY + ">");
            }
            String shown = "<classPath><" + ENTRY + ">";
            if (entry.getChildCount() == 0) {
                valueOf(entry, shown);
                continue;
            }
            checkChildren(entry, shown, ENTRY_ELEMENTS);
            Xpp3Dom required = entry.getChild("required");
            if (required != null && !isExpression(required.getValue())) {
                parseBoolean(valueOf(required, shown + "<required>"), shown + "<required>");
            }
        }
    }

    private static void checkChildren(Xpp3Dom parent, String shown, List<String> known) throws MojoFailureException {
        checkChildren(parent, shown, known, null);
    }

    /** Every child known and holding a value, but `container`, which holds elements of its own. */
    private static void checkChildren(Xpp3Dom parent, String shown, List<String> known, String container)
            throws MojoFailureException {
        for (Xpp3Dom child : parent.getChildren()) {
            if (child.getName().equals(container)) {
                continue;
            }
            if (!known.contains(child.getName())) {
                throw unknown(shown + "<" + child.getName() + ">", shown, known);
            }
            if (child.getChildCount() > 0) {
                throw new MojoFailureException("tovex: " + shown + "<" + child.getName() + "> holds elements; "
                    + "it takes a value");
            }
            valueOf(child, shown + "<" + child.getName() + ">");
        }
    }

    private static void checkSettingsAgainstElements(Collection<Xpp3Dom> configurations) throws MojoFailureException {
        Map<String, Xpp3Dom> given = new LinkedHashMap<>();
        for (Xpp3Dom configuration : configurations) {
            if (configuration != null) {
                for (Xpp3Dom element : configuration.getChildren()) {
                    given.put(element.getName(), element);
                }
            }
        }
        Xpp3Dom settings = given.get("settings");
        if (settings == null) {
            return;
        }
        Xpp3Dom runtime = given.get("runtime");
        Xpp3Dom messages = given.get("messages");
        for (Xpp3Dom setting : settings.getChildren()) {
            String name = setting.getName();
            String also = null;
            if (name.equals("jvmSearchSequence") || name.equals("minJavaVersion") || name.equals("maxJavaVersion")) {
                String runtimeElement = name.equals("jvmSearchSequence") ? "search"
                    : name.equals("minJavaVersion") ? "minVersion" : "maxVersion";
                also = runtime != null && runtime.getChild(runtimeElement) != null ? SETTINGS_WITH_ELEMENTS.get(name)
                    : null;
            } else if (name.equals("executableType")) {
                also = given.containsKey("gui") ? "<gui>" : given.containsKey("console") ? "<console>" : null;
            } else if (SETTINGS_WITH_ELEMENTS.containsKey(name)) {
                also = given.containsKey(name) ? SETTINGS_WITH_ELEMENTS.get(name) : null;
            } else if (messages != null && messages.getChild(name) != null) {
                also = "<messages><" + name + ">";
            } else if (TABLES.contains(name)) {
                throw new MojoFailureException("tovex: <settings><" + name + "> would clash with the [" + name
                    + "] table the plugin writes; give its entries through the plugin's own elements");
            }
            if (also != null) {
                throw new MojoFailureException("tovex: <settings><" + name + "> and " + also + " set the same "
                    + "setting; keep one of them (" + also + " is the plugin's own element for it)");
            }
        }
    }

    /** The element's text; an empty element is an error (Maven would drop it without a word). */
    private static String valueOf(Xpp3Dom element, String shown) throws MojoFailureException {
        String value = element.getValue();
        if (element.getChildCount() == 0 && (value == null || value.trim().isEmpty())) {
            throw new MojoFailureException("tovex: " + shown + " is empty; give it a value or leave it out");
        }
        return value;
    }

    private static boolean isExpression(String value) {
        return value != null && value.contains("${");
    }

    private static List<String> publicParameters(Collection<String> parameters) {
        List<String> shown = new ArrayList<>(new TreeSet<>(parameters));
        shown.remove("project");
        shown.remove("projectHelper");
        shown.remove("mojoExecution");
        return shown;
    }

    private static MojoFailureException unknown(String element, String where, Collection<String> known) {
        List<String> names = new ArrayList<>();
        for (String name : known) {
            names.add("<" + name + ">");
        }
        return new MojoFailureException("tovex: unknown element " + element + " in " + where + "; the known ones are "
            + String.join(", ", names));
    }
}
