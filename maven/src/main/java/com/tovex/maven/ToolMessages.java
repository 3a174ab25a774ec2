package com.tovex.maven;

import java.util.regex.Matcher;
import java.util.regex.Pattern;

/** The tovex tool's messages about the generated project file, each pointed back at the POM element it came from. */
final class ToolMessages {
    private static final Pattern LOCATION = Pattern.compile("^(.*?):(\\d+):(?:\\d+:)? .*$");

    private ToolMessages() {
    }

    /**
     * The line as the tool wrote it; when it names a line of the project file
     * that a POM element gave, followed by " (from the POM: ELEMENT)".
     */
    static String annotate(String line, String projectFilePath, ProjectFile project) {
        Matcher matcher = LOCATION.matcher(line);
        if (!matcher.matches() || !matcher.group(1).equals(projectFilePath)) {
            return line;
        }
        String origin;
        try {
            origin = project.originOfLine(Integer.parseInt(matcher.group(2)));
        } catch (NumberFormatException tooLong) {
            origin = null;
        }
        return origin == null ? line : line + " (from the POM: " + origin + ")";
    }

    static boolean isWarning(String line) {
        return line.contains(": warning: ");
    }
}
