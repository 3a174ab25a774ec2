package com.tovex.maven;

import java.util.regex.Matcher;
import java.util.regex.Pattern;

/** The numeric Windows version (four numbers of 0 to 65535) derived from a Maven project version. */
final class WindowsVersion {
    private static final Pattern LEADING_NUMBERS = Pattern.compile("^(\\d+(?:\\.\\d+)*)(.*)$", Pattern.DOTALL);
    private static final int PARTS = 4;
    private static final long MAX_PART = 65535;

    private WindowsVersion() {
    }

    /**
     * "1.0-SNAPSHOT" -> "1.0.0.0", "2.1.3.7" -> "2.1.3.7"; null when the version
     * does not begin with a number, has more than four numbers or one above 65535.
     */
    static String numeric(String mavenVersion) {
        Matcher matcher = LEADING_NUMBERS.matcher(mavenVersion == null ? "" : mavenVersion);
        if (!matcher.matches()) {
            return null;
        }
        String[] parts = matcher.group(1).split("\\.");
        if (parts.length > PARTS) {
            return null;
        }
        StringBuilder version = new StringBuilder();
        for (int i = 0; i < PARTS; i++) {
            String part = i < parts.length ? parts[i] : "0";
            if (part.length() > 5 || Long.parseLong(part) > MAX_PART) {
                return null;
            }
            version.append(i == 0 ? "" : ".").append(Long.parseLong(part));
        }
        return version.toString();
    }

    /** Whether the Maven version says more than its numbers (a qualifier such as -SNAPSHOT). */
    static boolean hasQualifier(String mavenVersion) {
        Matcher matcher = LEADING_NUMBERS.matcher(mavenVersion == null ? "" : mavenVersion);
        return !matcher.matches() || !matcher.group(2).isEmpty();
    }
}
