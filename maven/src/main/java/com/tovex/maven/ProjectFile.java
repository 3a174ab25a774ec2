package com.tovex.maven;

import java.util.ArrayList;
import java.util.List;

/**
 * A tovex project file being written, line by line, with where each line came
 * from in the POM, so that the tool's "file:line" messages can point the user
 * back to the element they wrote.
 */
final class ProjectFile {
    private final StringBuilder text = new StringBuilder();
    private final List<String> origins = new ArrayList<>();

    /** A line that no POM element gave (a comment, a table header, a blank). */
    void line(String line) {
        add(line, null);
    }

    /** A table header; origin: the POM element the whole table comes from, or null. */
    void table(String name, String origin) {
        if (!origins.isEmpty()) {
            line("");
        }
        add("[" + name + "]", origin);
    }

    void arrayTable(String name, String origin) {
        line("");
        add("[[" + name + "]]", origin);
    }

    /** A comment line; any text, kept on its line: line breaks and other control characters escaped. */
    void comment(String text) {
        line("# " + escaped(text));
    }

    void string(String key, String value, String origin) {
        add(key(key) + " = " + quote(value), origin);
    }

    void bool(String key, boolean value, String origin) {
        add(key(key) + " = " + value, origin);
    }

    /** A value already in TOML form. */
    void value(String key, String tomlValue, String origin) {
        add(key(key) + " = " + tomlValue, origin);
    }

    /** A list of items already in TOML form (quoted strings, inline tables). */
    void list(String key, List<String> tomlItems, String origin) {
        add(key(key) + " = [" + String.join(", ", tomlItems) + "]", origin);
    }

    String text() {
        return text.toString();
    }

    /** The POM element that line number (1-based) came from, or null. */
    String originOfLine(int number) {
        return number >= 1 && number <= origins.size() ? origins.get(number - 1) : null;
    }

    private void add(String line, String origin) {
        text.append(line).append('\n');
        origins.add(origin);
    }

    /** A key as written when it is a bare TOML key (letters, digits, '_', '-'), else quoted: one key, never more. */
    static String key(String name) {
        return name.matches("[A-Za-z0-9_-]+") ? name : quote(name);
    }

    /** A TOML basic string: quotes, backslashes and control characters escaped, so every value stays on one line. */
    static String quote(String value) {
        return "\"" + escaped(value) + "\"";
    }

    private static String escaped(String value) {
        StringBuilder quoted = new StringBuilder();
        for (int i = 0; i < value.length(); i++) {
            char c = value.charAt(i);
            switch (c) {
                case '"': quoted.append("\\\""); break;
                case '\\': quoted.append("\\\\"); break;
                case '\n': quoted.append("\\n"); break;
                case '\r': quoted.append("\\r"); break;
                case '\t': quoted.append("\\t"); break;
                default:
                    if (c < 0x20 || c == 0x7f) {
                        quoted.append(String.format("\\u%04X", (int) c));
                    } else {
                        quoted.append(c);
                    }
            }
        }
        return quoted.toString();
    }
}
